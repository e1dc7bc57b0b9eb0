#include "as_user.h"
#include "model/field_text.h"
#include "model/key_table.h"
#include "model/mk.h"
#include "model/settings_file.h"
#include "model/settings_format.h"
#include "model/settings_json.h"
#include "support/errors.h"
#include "support/file_io.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QtEndian>
#include <QtTest>

#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <tuple>

namespace {

QByteArray Pattern(int n) {
    QByteArray b(n, '\0');
    for (int i = 0; i < n; ++i)
        b[i] = char((i * 131 + 7) & 0xFF);
    return b;
}

void Write(const QString& path, const QByteArray& content) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
}

QByteArray Read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Lets a test make writes beyond a size fail, the way a full disk would.
// SIGXFSZ is left as it is: the save must not be ended by it.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        rlimit lim = old_;
        lim.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lim);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old_); }

private:
    rlimit old_{};
};

struct stat Stat(const QString& path) {
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st;
}

QStringList Entries(const QString& dir) {
    return QDir(dir).entryList(
        QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// Run as the ordinary user: saves to target, prints "ok" or the reason.
// The bytes of a settings file holding version and image.
QByteArray FileOf(uint16_t version, QByteArray image) {
    ScrambleImage(image);
    QByteArray file(2, '\0');
    qToLittleEndian<uint16_t>(version, file.data());
    return file + image;
}

SettingsJsonImport Import(const QByteArray& json) {
    return SettingsFileFromJson(json, CreateProtocolCatalogue());
}

// Applies hand edits to a JSON form: "a.b.c=JSON" sets, "a.b.c" removes.
QByteArray Edited(const QByteArray& json, const QStringList& edits) {
    QJsonObject root = QJsonDocument::fromJson(json).object();
    for (const QString& edit : edits) {
        const qsizetype eq = edit.indexOf(QLatin1Char('='));
        const QStringList path = edit.left(eq).split(QLatin1Char('.'));
        const QJsonValue value =
            eq < 0 ? QJsonValue(QJsonValue::Undefined)
                   : QJsonDocument::fromJson("[" + edit.mid(eq + 1).toUtf8() + "]").array().at(0);
        // Down the path, then the changed objects back up.
        QList<QJsonObject> chain{root};
        for (qsizetype i = 0; i + 1 < path.size(); ++i)
            chain << chain.last().value(path[i]).toObject();
        for (qsizetype i = path.size() - 1; i >= 0; --i) {
            QJsonObject& o = chain[i];
            const QJsonValue v = i + 1 == path.size() ? value : QJsonValue(chain[i + 1]);
            if (v.isUndefined())
                o.remove(path[i]);
            else
                o.insert(path[i], v);
        }
        root = chain.first();
    }
    return QJsonDocument(root).toJson();
}

// Run as the ordinary user: saves to target, prints "ok" or the reason.
int SaveAsUser(const QString& target) {
    try {
        WriteWholeFile(target, "new content");
        std::puts("ok");
    } catch (const FileError& e) {
        std::puts(qPrintable(e.reason()));
    }
    return 0;
}

// Run by a test as a child: saves a large file over and over until a signal
// ends it, saying "saved" once the first save is done.
QByteArray LoopContent() {
    return Pattern(4 << 20);
}
int SaveInALoop(const QString& target, bool named) {
    UseNamedTemporaries(named);
    const QByteArray content = LoopContent();
    for (bool first = true;; first = false) {
        WriteWholeFile(target, content);
        if (first) {
            std::puts("saved");
            std::fflush(stdout);
        }
    }
}

// An image as Qt writes it in the format given ("PNG", "BMP", "PPM").
QByteArray ImageFile(const char* format) {
    QImage image(5, 3, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

} // namespace

class TestSettingsFile : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString Path(const char* name) { return dir.filePath(QString::fromLatin1(name)); }

private slots:
    // The key can never change once files exist.
    void keyTableIsPinned() {
        const QByteArray key(reinterpret_cast<const char*>(kSettingsKey.data()), 4096);
        QCOMPARE(QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex(),
                 QByteArray("2b1b0983ccd34608fa25360f267c326cf152b64ef4f17f3d465bbc36f5fd9edf"));
        // And it is what the documented procedure gives.
        QByteArray rebuilt;
        for (int k = 0; k < 128; ++k)
            rebuilt += QCryptographicHash::hash("tripconf-settings-key-" + QByteArray::number(k),
                                                QCryptographicHash::Sha256);
        QCOMPARE(rebuilt, key);
    }

    void saveWritesVersionThenScrambledImage() {
        TMK mk;
        mk.Version = 0x1234;
        mk.Image = Pattern(2048);
        SaveSettingsFile(mk, Path("a.tarvg"));
        const QByteArray file = Read(Path("a.tarvg"));
        QCOMPARE(file.size(), 2050);
        QCOMPARE(uint8_t(file[0]), uint8_t(0x34));
        QCOMPARE(uint8_t(file[1]), uint8_t(0x12));
        for (int i : {0, 1, 123, 2047})
            QCOMPARE(uint8_t(file[2 + i]), uint8_t(uint8_t(mk.Image[i]) ^ kSettingsKey[i]));
    }

    void saveAndLoadRestoreEverything() {
        TMK a;
        a.Version = 0xBEEF; // above 32767: kept as the device's unsigned 16 bits
        a.Image = Pattern(2048);
        SaveSettingsFile(a, Path("b.tarvg"));
        TMK b;
        LoadSettingsFile(b, Path("b.tarvg"));
        QCOMPARE(b.Version, uint16_t(0xBEEF));
        QCOMPARE(b.Image, a.Image);
        a.UnpackSettings();
        QVERIFY(b.Settings == a.Settings);
    }

    void keyRepeatsBeyond4096Bytes() {
        TMK mk;
        mk.Image = QByteArray(5000, '\0');
        SaveSettingsFile(mk, Path("big.tarvg"));
        const QByteArray file = Read(Path("big.tarvg"));
        QCOMPARE(file.size(), 5002);
        QCOMPARE(uint8_t(file[2 + 4096]), kSettingsKey[0]);
        QCOMPARE(uint8_t(file[2 + 4999]), kSettingsKey[4999 - 4096]);
        TMK back;
        LoadSettingsFile(back, Path("big.tarvg"));
        QCOMPARE(back.Image, mk.Image);
    }

    void shortFileOverwritesOnlyItsPart() {
        TMK src;
        src.Version = 7;
        src.Image = QByteArray(124, char(0x11));
        SaveSettingsFile(src, Path("short.tarvg"));
        TMK mk;
        mk.Image = QByteArray(2048, char(0x77));
        LoadSettingsFile(mk, Path("short.tarvg"));
        QCOMPARE(mk.Image.size(), 2048);
        QCOMPARE(mk.Image.left(124), QByteArray(124, char(0x11)));
        QCOMPARE(mk.Image.mid(124), QByteArray(2048 - 124, char(0x77)));
        QCOMPARE(mk.Settings.Size, 0x11111111u);
    }

    void tinyFilesChangeOnlyWhatTheyHold() {
        TMK mk;
        mk.Version = 0xAABB;
        mk.Image = Pattern(2048);
        Write(Path("two.tarvg"), QByteArray("\x01\x02", 2));
        LoadSettingsFile(mk, Path("two.tarvg"));
        QCOMPARE(mk.Version, uint16_t(0x0201));
        QCOMPARE(mk.Image, Pattern(2048));

        Write(Path("one.tarvg"), QByteArray("\x05", 1));
        LoadSettingsFile(mk, Path("one.tarvg"));
        QCOMPARE(mk.Version, uint16_t(0x0205));

        Write(Path("empty.tarvg"), QByteArray());
        LoadSettingsFile(mk, Path("empty.tarvg"));
        QCOMPARE(mk.Version, uint16_t(0x0205));
        QCOMPARE(mk.Image, Pattern(2048));
    }

    // Every reader decides "short" by this one count; the edges are a byte apart.
    void formatDecodesAndCountsAnyLength_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("recordBytes");
        QTest::addColumn<uint16_t>("version"); // decoded over a version before of 0xAABB
        for (const auto& [size, record, version] : {std::tuple{0, 0, 0xAABB},
                                                    {1, 0, 0xAA01},
                                                    {2, 0, 0x0201},
                                                    {3, 1, 0x0201},
                                                    {125, 123, 0x0201},
                                                    {126, 124, 0x0201},
                                                    {127, 124, 0x0201},
                                                    {2050, 124, 0x0201}})
            QTest::addRow("%d bytes", size) << size << record << uint16_t(version);
    }

    void formatDecodesAndCountsAnyLength() {
        QFETCH(int, size);
        QFETCH(int, recordBytes);
        QFETCH(uint16_t, version);
        const QByteArray file = FileOf(0x0201, Pattern(2048)).left(size);
        const TSettingsFileExtent held = SettingsFileExtent(file);
        QCOMPARE(held.fileBytes, size);
        QCOMPARE(held.recordBytes, recordBytes);
        QCOMPARE(held.Whole(), size >= 126);
        QCOMPARE(ShortfallText(held),
                 QStringLiteral("holds %1 of the 126 bytes of a version and a settings record")
                     .arg(size));
        const TSettingsFileContent content = DecodeSettingsFile(file, 0xAABB);
        QCOMPARE(content.version, version);
        QCOMPARE(content.image, Pattern(2048).left(std::max(0, size - 2)));
        if (size >= 2)
            QCOMPARE(EncodeSettingsFile(content.version, content.image), file);
    }

    void unreadableFileChangesNothing() {
        TMK mk;
        mk.Version = 9;
        mk.Image = Pattern(300);
        mk.Settings.TOTime = 42;
        mk.Settings.Oil6L = 0x0607;
        // Beyond the size limit (a sparse file): refused, as an endless device would be.
        const QString huge = Path("huge.tarvg");
        {
            QFile f(huge);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.resize(kMaxReadFileSize + 1));
        }
        for (const QString& name : {Path("missing.tarvg"), dir.path(), huge}) {
            for (auto load : {LoadSettingsFile, LoadTankFile}) {
                try {
                    load(mk, name);
                    QFAIL("load of an unreadable file succeeded");
                } catch (const TripError& e) {
                    QVERIFY2(e.message().contains(name), qPrintable(e.message()));
                }
                QCOMPARE(mk.Version, uint16_t(9));
                QCOMPARE(mk.Image, Pattern(300));
                QCOMPARE(mk.Settings.TOTime, 42u);
                QCOMPARE(mk.Settings.Oil6L, uint16_t(0x0607));
            }
        }
        QFile::remove(huge);
    }

    void failedSaveKeepsThePreviousFile() {
        const QString name = Path("keep.tarvg");
        Write(name, "previous content");
        TMK mk;
        mk.Image = Pattern(2048);
        // Written in place (two links): room is taken before a byte changes.
        const QString linked = Path("keep-linked.tarvg");
        Write(linked, "previous content");
        QVERIFY(::link(QFile::encodeName(linked).constData(),
                       QFile::encodeName(Path("keep-linked-2.tarvg")).constData()) == 0);
        const QStringList before = Entries(dir.path());
        {
            FileSizeLimit limit(100);
            for (const QString& target : {name, linked}) {
                try {
                    SaveSettingsFile(mk, target);
                    QFAIL("a save beyond the size limit succeeded");
                } catch (const FileError& e) {
                    QCOMPARE(e.reason(), QString::fromLocal8Bit(std::strerror(EFBIG)));
                }
            }
            QVERIFY_THROWS_EXCEPTION(TripError, SaveSettingsFile(mk, Path("no/such/dir/x.tarvg")));
        }
        QCOMPARE(Read(name), QByteArray("previous content"));
        QCOMPARE(Read(Path("keep-linked-2.tarvg")), QByteArray("previous content"));
        QCOMPARE(Entries(dir.path()), before); // no temporary file left
    }

    // The file a name stands for is replaced, not the name: links stay links
    // and keep seeing the content, modes stay, and long names work.
    void saveKeepsLinksModesAndLongNames() {
        QTemporaryDir d;
        const auto at = [&](const QString& n) { return d.filePath(n); };
        const auto symlink = [&](const char* target, const QString& link) {
            QVERIFY(::symlink(target, QFile::encodeName(at(link)).constData()) == 0);
        };
        Write(at("data.tarvg"), "old");
        QVERIFY(::chmod(QFile::encodeName(at("data.tarvg")).constData(), 0640) == 0);
        symlink("data.tarvg", QStringLiteral("link.tarvg"));
        WriteWholeFile(at("link.tarvg"), "one");
        QVERIFY(QFileInfo(at("link.tarvg")).isSymLink());
        QCOMPARE(Read(at("data.tarvg")), QByteArray("one"));
        QCOMPARE(Stat(at("data.tarvg")).st_mode & 07777, mode_t(0640));

        symlink("made.tarvg", QStringLiteral("dangling.tarvg"));
        WriteWholeFile(at("dangling.tarvg"), "two");
        QVERIFY(QFileInfo(at("dangling.tarvg")).isSymLink());
        QCOMPARE(Read(at("made.tarvg")), QByteArray("two"));

        QVERIFY(::link(QFile::encodeName(at("data.tarvg")).constData(),
                       QFile::encodeName(at("hard.tarvg")).constData()) == 0);
        WriteWholeFile(at("hard.tarvg"), "three, longer than before");
        QCOMPARE(Read(at("data.tarvg")), QByteArray("three, longer than before"));
        WriteWholeFile(at("data.tarvg"), "four");
        QCOMPARE(Read(at("hard.tarvg")), QByteArray("four"));
        QCOMPARE(Stat(at("hard.tarvg")).st_nlink, nlink_t(2));
        QCOMPARE(Stat(at("hard.tarvg")).st_mode & 07777, mode_t(0640));

        const QString longName = QString(NAME_MAX - 6, QLatin1Char('n')) + QStringLiteral(".tarvg");
        WriteWholeFile(at(longName), "five");
        WriteWholeFile(at(longName), "six");
        QCOMPARE(Read(at(longName)), QByteArray("six"));

        QCOMPARE(Entries(d.path()),
                 QStringList({QStringLiteral("dangling.tarvg"), QStringLiteral("data.tarvg"),
                              QStringLiteral("hard.tarvg"), QStringLiteral("link.tarvg"),
                              QStringLiteral("made.tarvg"), longName}));
    }

    // A signal at any moment of a save leaves the old file or the new one and
    // no temporary file: one without a name, or a named one while signals wait.
    void signalLeavesNoTemporaryFile_data() {
        QTest::addColumn<bool>("named");
        QTest::addColumn<int>("signal");
        for (const bool named : {false, true})
            for (const int signal : {SIGINT, SIGTERM, SIGHUP})
                QTest::addRow("%s temporary, %s", named ? "named" : "unnamed", strsignal(signal))
                    << named << signal;
    }
    void signalLeavesNoTemporaryFile() {
        QFETCH(bool, named);
        QFETCH(int, signal);
        QTemporaryDir d;
        const QString target = d.filePath(QStringLiteral("big.tarvg"));
        QRandomGenerator random(uint(signal) * 2 + named);
        for (int run = 0; run < 8; ++run) {
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(),
                        {QStringLiteral("--save-loop"), target,
                         named ? QStringLiteral("named") : QStringLiteral("unnamed")});
            QVERIFY(child.waitForReadyRead(30000));
            QThread::usleep(random.bounded(30000));
            QCOMPARE(::kill(pid_t(child.processId()), signal), 0);
            QVERIFY(child.waitForFinished(30000));
            QCOMPARE(child.exitStatus(), QProcess::CrashExit);
            QCOMPARE(Entries(d.path()), QStringList{QStringLiteral("big.tarvg")});
            QVERIFY(Read(target) == LoopContent());
        }
    }

    // Only what is surely something else is refused: the JSON form and the
    // images the preview writes. Near misses, and settings files whose
    // version bytes begin as those do, load.
    void foreignFilesAreRefused_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("kind");
        const int none = int(TForeignFile::None);
        const QByteArray png = ImageFile("PNG");
        QTest::newRow("PNG") << png << int(TForeignFile::Png);
        QTest::newRow("PNG, cut short") << png.left(40) << int(TForeignFile::Png);
        QTest::newRow("PNG signature less its last byte") << png.left(7) << none;
        QTest::newRow("BMP") << ImageFile("BMP") << int(TForeignFile::Bmp);
        QTest::newRow("PPM") << ImageFile("PPM") << int(TForeignFile::Ppm);
        QTest::newRow("plain PPM with a comment")
            << QByteArray("P3\n# by hand\n2 1\n255\n0 0 0 255 255 255\n") << int(TForeignFile::Ppm);
        QTest::newRow("BM and no header") << QByteArray("BM") + QByteArray(40, char(0x55)) << none;
        QTest::newRow("P6 and no size") << QByteArray("P6\nsize") + QByteArray(40, '\0') << none;
        QTest::newRow("P6 with a zero width") << QByteArray("P6 0 3 255 ") << none;
        TMK mk;
        mk.Version = 3;
        mk.Image = Pattern(2048);
        const QByteArray json = SettingsFileToJson(SettingsFileData(mk));
        QTest::newRow("JSON form") << json << int(TForeignFile::SettingsJson);
        QTest::newRow("JSON form, byte order mark, CRLF")
            << "\xEF\xBB\xBF\r\n" + QByteArray(json).replace("\n", "\r\n")
            << int(TForeignFile::SettingsJson);
        QTest::newRow("JSON form cut short") << json.left(json.size() - 3) << none;
        QTest::newRow("JSON of another format") << QByteArray("{\"format\": \"other\"}") << none;
        QTest::newRow("JSON form in an array") << "[" + json + "]" << none;
        QRandomGenerator random(1251);
        // "BM", "P6", "P3", "{\n" and the PNG signature's first two bytes.
        for (const uint16_t version : {0x4D42, 0x3650, 0x3350, 0x0A7B, 0x5089}) {
            for (int i = 0; i < 3; ++i) {
                QByteArray image(2048, '\0');
                for (char& c : image)
                    c = char(random.bounded(256));
                QTest::addRow("version %04X, random image %d", version, i)
                    << FileOf(version, image) << none;
            }
        }
    }
    void foreignFilesAreRefused() {
        QFETCH(QByteArray, content);
        QFETCH(int, kind);
        QCOMPARE(int(RecognizeForeignFile(content)), kind);
        const QString name = Path("foreign.tarvg");
        Write(name, content);
        TMK mk;
        mk.Version = 9;
        mk.Image = Pattern(300);
        if (kind == int(TForeignFile::None)) {
            QCOMPARE(ReadSettingsFile(name), content);
            LoadSettingsFile(mk, name);
            return;
        }
        for (auto read : {std::function<void()>([&] { ReadSettingsFile(name); }),
                          std::function<void()>([&] { LoadSettingsFile(mk, name); })}) {
            try {
                read();
                QFAIL("a foreign file was taken for settings");
            } catch (const NotSettingsFileError& e) {
                QCOMPARE(int(e.kind()), kind);
                QCOMPARE(e.message(), QStringLiteral("Cannot load settings from file \"%1\". %2")
                                          .arg(name, ForeignFileReason(TForeignFile(kind))));
            }
        }
        QVERIFY(ForeignFileReason(TForeignFile(kind))
                    .endsWith(kind == int(TForeignFile::SettingsJson)
                                  ? QStringLiteral("use tripconf-cli import to make one of it.")
                                  : QStringLiteral("image, not a settings file.")));
        QCOMPARE(mk.Version, uint16_t(9));
        QCOMPARE(mk.Image, Pattern(300));
        // Tank files are not settings files: their load takes any bytes.
        LoadTankFile(mk, name);
    }

    // Refused at once and left as they are, whether loaded or saved.
    void whatIsNoFileIsRefused_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<bool>("viaLink");
        const QString pipe = QStringLiteral("It is a pipe (FIFO), not a file.");
        QTest::newRow("folder") << int(S_IFDIR) << QStringLiteral("It is a folder, not a file.")
                                << false;
        QTest::newRow("pipe") << int(S_IFIFO) << pipe << false;
        QTest::newRow("link to a pipe") << int(S_IFIFO) << pipe << true;
        QTest::newRow("socket") << int(S_IFSOCK) << QStringLiteral("It is a socket, not a file.")
                                << false;
        QTest::newRow("device") << int(S_IFCHR) << QStringLiteral("It is a device, not a file.")
                                << false;
    }
    void whatIsNoFileIsRefused() {
        QFETCH(int, type);
        QFETCH(QString, reason);
        QFETCH(bool, viaLink);
        QTemporaryDir d;
        const QString node = d.filePath(QStringLiteral("node"));
        const QByteArray native = QFile::encodeName(node);
        int made = -1;
        int sock = -1;
        switch (type) {
        case S_IFDIR:
            made = ::mkdir(native.constData(), 0755);
            break;
        case S_IFIFO:
            made = ::mkfifo(native.constData(), 0666);
            break;
        case S_IFCHR: // the null device, as root may make it
            made = ::mknod(native.constData(), S_IFCHR | 0666, makedev(1, 3));
            if (made != 0)
                QSKIP("cannot make a device node here");
            break;
        case S_IFSOCK: {
            sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un addr{};
            addr.sun_family = AF_UNIX;
            std::strncpy(addr.sun_path, native.constData(), sizeof addr.sun_path - 1);
            made = ::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
            break;
        }
        }
        QCOMPARE(made, 0);
        QString name = node;
        if (viaLink) {
            name = d.filePath(QStringLiteral("link"));
            QVERIFY(::symlink("node", QFile::encodeName(name).constData()) == 0);
        }
        const QStringList before = Entries(d.path());
        try {
            WriteWholeFile(name, "content");
            QFAIL("saved over what is no file");
        } catch (const FileError& e) {
            QVERIFY2(e.reason().startsWith(reason), qPrintable(e.message()));
            QVERIFY(e.message().contains(name));
        }
        TMK mk;
        for (auto load : {LoadSettingsFile, LoadTankFile}) {
            try {
                load(mk, name);
                QFAIL("loaded what is no file");
            } catch (const FileError& e) {
                QCOMPARE(e.reason(), reason);
            }
        }
        QCOMPARE(int(Stat(node).st_mode & S_IFMT), type);
        QCOMPARE(Entries(d.path()), before);
        if (sock >= 0)
            ::close(sock);
    }

    // A rename is not a write: what the user may not write is refused with
    // the system's message; what the user may write but not replace (the
    // folder forbids it) is written in place.
    void saveAsAnOrdinaryUser_data() {
        QTest::addColumn<bool>("userFolder");
        QTest::addColumn<int>("folderMode");
        QTest::addColumn<QString>("fileOwner"); // "user", "root" or "" for none
        QTest::addColumn<int>("fileMode");
        QTest::addColumn<QString>("result");
        QTest::addColumn<bool>("inPlace");
        const QString denied = QString::fromLocal8Bit(std::strerror(EACCES));
        QTest::newRow("own file, read-only")
            << true << 0755 << QStringLiteral("user") << 0444 << denied << false;
        QTest::newRow("another's file, shared folder")
            << false << 01777 << QStringLiteral("root") << 0644 << denied << false;
        QTest::newRow("new file, closed folder")
            << false << 0755 << QString() << 0 << denied << false;
        QTest::newRow("own file, closed folder")
            << false << 0755 << QStringLiteral("user") << 0640 << QStringLiteral("ok") << true;
        QTest::newRow("another's writable file, shared folder")
            << false << 01777 << QStringLiteral("root") << 0666 << QStringLiteral("ok") << true;
        QTest::newRow("own file, own folder")
            << true << 0700 << QStringLiteral("user") << 0604 << QStringLiteral("ok") << false;
    }
    void saveAsAnOrdinaryUser() {
        QFETCH(bool, userFolder);
        QFETCH(int, folderMode);
        QFETCH(QString, fileOwner);
        QFETCH(int, fileMode);
        QFETCH(QString, result);
        QFETCH(bool, inPlace);
        const auto user = OrdinaryUser();
        if (!user)
            QSKIP("needs root and useradd to run as an ordinary user");
        QTemporaryDir base;
        QVERIFY(::chmod(QFile::encodeName(base.path()).constData(), 0755) == 0);
        const QString folder = base.filePath(QStringLiteral("f"));
        QVERIFY(QDir().mkdir(folder));
        if (userFolder)
            QVERIFY(GiveTo(*user, folder));
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), mode_t(folderMode)) == 0);
        const QString target = folder + QStringLiteral("/x.tarvg");
        if (!fileOwner.isEmpty()) {
            Write(target, "old content");
            if (fileOwner == QStringLiteral("user"))
                QVERIFY(GiveTo(*user, target));
            QVERIFY(::chmod(QFile::encodeName(target).constData(), mode_t(fileMode)) == 0);
        }
        const struct stat before = Stat(target);

        const UserRun r = RunSelfAsUser(*user, {QStringLiteral("save"), target});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, result);
        const bool ok = result == QStringLiteral("ok");
        QCOMPARE(Entries(folder), fileOwner.isEmpty() && !ok
                                      ? QStringList()
                                      : QStringList{QStringLiteral("x.tarvg")});
        if (fileOwner.isEmpty())
            return;
        QCOMPARE(Read(target), ok ? QByteArray("new content") : QByteArray("old content"));
        const struct stat after = Stat(target);
        QCOMPARE(after.st_uid, before.st_uid);
        QCOMPARE(after.st_mode, before.st_mode);
        QCOMPARE(after.st_ino == before.st_ino, inPlace || !ok);
    }

    // Every byte survives export and import: the files the fuzzer starts
    // from, odd factors and choices, and a few hundred random files.
    void jsonRoundTripIsExact() {
        QList<std::pair<QString, QByteArray>> files;
        const QDir corpus(QStringLiteral(TRIPCONF_SETTINGS_CORPUS));
        for (const QString& name : corpus.entryList(QDir::Files, QDir::Name))
            files.append({name, Read(corpus.filePath(name))});
        QVERIFY(files.size() >= 8);
        const auto record = TSettingsRecord::Defaults().ToBytes();
        const QByteArray defaults(reinterpret_cast<const char*>(record.data()), 124);
        for (uint32_t bits : {0x80000000u, 0x7F800000u, 0xFF800000u, 0x7FC00001u, 0xFFBFFFFFu,
                              0x00000001u, 0x7F7FFFFFu}) {
            QByteArray image = defaults;
            qToLittleEndian<uint32_t>(bits, image.data() + 0x0C);
            files.append({QString::number(bits, 16), FileOf(3, image)});
        }
        files.append({QStringLiteral("all FF"), FileOf(0xFFFF, QByteArray(2048, char(0xFF)))});
        QRandomGenerator random(20260611);
        for (int n = 0; n < 300; ++n) {
            QByteArray image(124 + int(random.bounded(n % 3 ? 64 : 5000)), '\0');
            for (char& c : image)
                c = char(random.bounded(256));
            // Most random bytes are choices without an item and values beyond the editor's.
            if (n % 4 == 0)
                image.replace(0, 124, defaults);
            files.append({QStringLiteral("random %1").arg(n),
                          FileOf(uint16_t(random.bounded(65536)), image)});
        }
        for (const auto& [name, file] : files) {
            if (file.size() < 126) {
                try {
                    SettingsFileToJson(file);
                    QFAIL(qPrintable(name + QStringLiteral(": a short file was exported")));
                } catch (const TripError& e) {
                    QVERIFY2(e.message().contains(
                                 QStringLiteral("holds %1 of the 126 bytes").arg(file.size())),
                             qPrintable(e.message()));
                }
                continue;
            }
            const QByteArray json = SettingsFileToJson(file);
            const SettingsJsonImport back = Import(json);
            QVERIFY2(back.file == file, qPrintable(name));
            QVERIFY2(back.valuesTaken.isEmpty(), qPrintable(back.valuesTaken.join(u',')));
        }
    }

    void jsonHandEdits_data() {
        QTest::addColumn<QStringList>("edits");
        QTest::addColumn<QString>("error"); // a part of the message; empty: imported
        QTest::addColumn<QString>("field"); // then this field stores
        QTest::addColumn<double>("stored");
        const auto ok = [](const char* row, QStringList edits, const char* field, double stored) {
            QTest::newRow(row) << edits << QString() << QString::fromLatin1(field) << stored;
        };
        const auto refused = [](const char* row, QStringList edits, const char* error) {
            QTest::newRow(row) << edits << QString::fromUtf8(error) << QString() << 0.0;
        };
        ok("value", {"fields.VelocityCorr.value=\"5.4\""}, "VelocityCorr",
           double(PercentToCorrection(5.4)));
        ok("stored, value removed",
           {"fields.VelocityLimit.stored=130", "fields.VelocityLimit.value"}, "VelocityLimit", 130);
        ok("stored beside its old value: the value wins", {"fields.TankContFull.stored=60"},
           "TankContFull", 50);
        ok("factor's stored, bits removed",
           {"fields.ExpenseCorr.stored=1.25", "fields.ExpenseCorr.bits",
            "fields.ExpenseCorr.value"},
           "ExpenseCorr", 1.25);
        ok("factor's bits",
           {"fields.ExpenseCorr.bits=\"3fa00000\"", "fields.ExpenseCorr.stored",
            "fields.ExpenseCorr.value"},
           "ExpenseCorr", 1.25);
        ok("unit is not checked", {"fields.VelocityLimit.unit=\"mph\""}, "VelocityLimit", 200);
        ok("capacity taken before what it limits",
           {"fields.TankContFull.value=\"90\"", "fields.TankLimit.value=\"70\""}, "TankLimit", 70);
        refused("value the editor refuses", {"fields.VelocityCorr.value=\"1000\""}, "VelocityCorr");
        refused("value not a number", {"fields.VelocityLimit.value=\"fast\""}, "VelocityLimit");
        refused("value not a string", {"fields.VelocityLimit.value=130"}, "VelocityLimit");
        refused("value of a field no control edits", {"fields.TripPath.value=\"1.000\""},
                "\"TripPath\": its \"value\" is shown only");
        refused("stored beyond its type",
                {"fields.TankContFull.stored=200", "fields.TankContFull.value"}, "TankContFull");
        refused("stored not whole", {"fields.Flags.stored=1.5"}, "Flags");
        refused("stored and bits disagree", {"fields.VelocityCorr.stored=1.5"}, "VelocityCorr");
        refused("neither stored nor value", {"fields.Size.stored", "fields.Size.value"}, "Size");
        refused("missing field", {"fields.Size"}, "\"Size\" is missing");
        refused("unknown field", {"fields.VelocityCor={\"stored\": 1}"}, "VelocityCorr");
        refused("unknown key", {"fields.Size.vaule=\"1\""}, "vaule");
        refused("bits on an integer", {"fields.Size.bits=\"00000000\""}, "bits");
        refused("bits not hex", {"fields.VelocityCorr.bits=\"3f86666g\""}, "\"bits\"");
        refused("reserved of the wrong length", {"reserved.Reserved48=\"00\""}, "Reserved48");
        refused("reserved not hex", {"reserved.Reserved55=\"+1\""}, "Reserved55");
        refused("unknown reserved", {"reserved.Reserved49=\"00\""}, "Reserved49");
        refused("rest of odd length", {"rest=\"abc\""}, "\"rest\"");
        refused("another format", {"format=\"tripconf-tank\""}, "\"format\"");
        refused("a later form", {"formatVersion=2"}, "\"formatVersion\" 2");
        refused("no version", {"version"}, "\"version\" is missing");
        refused("version beyond 16 bits", {"version=65536"}, "\"version\"");
        refused("unknown top-level key", {"comment=\"x\""}, "\"comment\"");
        refused("not JSON", {"!cut"}, "offset");
        // A value the editor cannot show is exported with what is stored; that
        // stand-in is no edit, even once the capacity behind it has changed.
        ok("stand-in beside a changed capacity",
           {"fields.Lit6L.stored=60", "fields.Lit6L.value=\"50 (stored 60 lies outside 0..50 л)\"",
            "fields.TankContFull.stored=70", "fields.TankContFull.value"},
           "Lit6L", 60);
        ok("stand-in beside a changed stored number",
           {"fields.AccCorr.stored=3",
            "fields.AccCorr.value=\"0.7 (stored 100 lies outside -0.7..0.7 В)\""},
           "AccCorr", 3);
        refused("stand-in with its shown part changed",
                {"fields.Lit6L.stored=60",
                 "fields.Lit6L.value=\"10 (stored 60 lies outside 0..50 л)\""},
                "\"Lit6L\": \"10 (stored 60 lies outside 0..50 л)\" is a stand-in from export");
        ok("an older export's stand-in",
           {"fields.AccCorr.stored=100", "fields.AccCorr.value=\"0.7\""}, "AccCorr", 100);
        refused("value with more decimals than shown", {"fields.UaccLowLimit.value=\"9.15\""},
                "'9.15' has 2 decimals, more than the field's 1");
        refused("stored a factor holds as inf",
                {"fields.ExpenseCorr.stored=1e300", "fields.ExpenseCorr.bits",
                 "fields.ExpenseCorr.value"},
                "would hold it as inf");
        refused("stored a factor holds as inf, beside its bits",
                {"fields.ExpenseCorr.stored=1e300", "fields.ExpenseCorr.value"},
                "would hold it as inf");
        refused("stored a factor holds as 0, beside bits of 0",
                {"fields.ExpenseCorr.stored=1e-50", "fields.ExpenseCorr.bits=\"00000000\"",
                 "fields.ExpenseCorr.value"},
                "would be stored as 0");
        refused("stored a factor holds as 0",
                {"fields.ExpenseCorr.stored=1e-50", "fields.ExpenseCorr.bits",
                 "fields.ExpenseCorr.value"},
                "would be stored as 0");
        // Duplicate keys, which the parser would resolve by keeping the last.
        refused("top-level key twice", {"~\"rest\": \"|\"rest\": \"\",\n  \"rest\": \""},
                "The key \"rest\" appears twice, at lines 67 and 68");
        refused("field above its original",
                {"~\"fields\": {\n|\"fields\": {\n    \"Lit43L\": { \"value\": \"30\" },\n"},
                "The key \"Lit43L\" of \"fields\" appears twice, at lines 6 and 27");
        refused("key twice in an entry", {"~\"stored\": 124|\"stored\": 124, \"stored\": 125"},
                "The key \"stored\" of \"fields\".\"Size\" appears twice, at lines 6 and 6");
        refused("key twice, once escaped", {"~\"version\": 3|\"versio\\u006e\": 3, \"version\": 3"},
                "The key \"version\" appears twice, at lines 4 and 4");
        refused("NUL in a key", {"~\"format\"|\"a\\u0000b\": 1, \"format\""},
                "unknown key \"a\\u0000b\"");
    }

    void jsonHandEdits() {
        QFETCH(QStringList, edits);
        QFETCH(QString, error);
        QFETCH(QString, field);
        QFETCH(double, stored);
        QByteArray image = Pattern(2048);
        const auto defaults = TSettingsRecord::Defaults().ToBytes();
        std::memcpy(image.data(), defaults.data(), defaults.size());
        const QByteArray file = FileOf(3, image);
        QByteArray json = SettingsFileToJson(file);
        if (edits == QStringList{QStringLiteral("!cut")}) {
            json = json.left(json.size() / 2);
        } else if (edits.value(0).startsWith(QLatin1Char('~'))) {
            // The text itself: "~OLD|NEW" replaces the first OLD.
            const QStringList parts = edits[0].mid(1).split(QLatin1Char('|'));
            const qsizetype at = json.indexOf(parts[0].toUtf8());
            QVERIFY(at >= 0);
            json.replace(at, parts[0].toUtf8().size(), parts[1].toUtf8());
        } else {
            json = Edited(json, edits);
        }
        try {
            const SettingsJsonImport back = Import(json);
            QVERIFY2(error.isEmpty(), qPrintable(QStringLiteral("imported; expected ") + error));
            QCOMPARE(back.file.size(), file.size());
            QCOMPARE(back.file.left(2), file.left(2));
            TMK mk;
            LoadSettingsData(mk, back.file);
            QCOMPARE(mk.Image.mid(124), image.mid(124));
            QCOMPARE(FieldValue(mk.Settings.ToBytes(), *FindField(field.toStdString())), stored);
        } catch (const TripError& e) {
            QVERIFY2(!error.isEmpty() && e.message().contains(error), qPrintable(e.message()));
            // Nothing in the document can cut the message short.
            QVERIFY(!e.message().contains(QChar(0)));
        }
    }

    void tankFileRoundTrip() {
        TMK mk;
        mk.Version = 5;
        mk.Settings.Oil6L = 0x0102;
        mk.Settings.Lit6L = 0x0304;
        mk.Settings.Oil43L = 0x0506;
        mk.Settings.Lit43L = 0x0708;
        SaveTankFile(mk, Path("t.tarvo"));
        QCOMPARE(Read(Path("t.tarvo")), QByteArray("\x02\x01\x04\x03\x06\x05\x08\x07", 8));
        TMK other;
        const auto untouched = other.Settings;
        LoadTankFile(other, Path("t.tarvo"));
        QCOMPARE(other.Settings.Oil6L, uint16_t(0x0102));
        QCOMPARE(other.Settings.Lit43L, uint16_t(0x0708));
        QCOMPARE(other.Version, uint16_t(0));
        auto expect = untouched;
        expect.Oil6L = 0x0102;
        expect.Lit6L = 0x0304;
        expect.Oil43L = 0x0506;
        expect.Lit43L = 0x0708;
        QVERIFY(other.Settings == expect);
    }

    void shortTankFilesFillInOrder_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QList<int>>("expected"); // Oil6L, Lit6L, Oil43L, Lit43L
        const QByteArray nine("\x10\x00\x20\x00\x30\x00\x40\x00\x99", 9);
        QTest::newRow("9 bytes") << nine << QList<int>{0x10, 0x20, 0x30, 0x40};
        QTest::newRow("8 bytes") << nine.left(8) << QList<int>{0x10, 0x20, 0x30, 0x40};
        // A field with only its low byte present gets only that byte.
        QTest::newRow("5 bytes") << nine.left(5) << QList<int>{0x10, 0x20, 0x1230, 50};
        QTest::newRow("4 bytes") << nine.left(4) << QList<int>{0x10, 0x20, 0x1264, 50};
        QTest::newRow("0 bytes") << QByteArray() << QList<int>{12, 6, 0x1264, 50};
    }
    void shortTankFilesFillInOrder() {
        QFETCH(QByteArray, content);
        QFETCH(QList<int>, expected);
        TMK mk;
        mk.Settings.Oil43L = 0x1264;
        Write(Path("s.tarvo"), content);
        LoadTankFile(mk, Path("s.tarvo"));
        QCOMPARE(int(mk.Settings.Oil6L), expected[0]);
        QCOMPARE(int(mk.Settings.Lit6L), expected[1]);
        QCOMPARE(int(mk.Settings.Oil43L), expected[2]);
        QCOMPARE(int(mk.Settings.Lit43L), expected[3]);
    }

    void missingTankFileChangesNothing() {
        TMK mk;
        const auto before = mk.Settings;
        QVERIFY_THROWS_EXCEPTION(TripError, LoadTankFile(mk, Path("none.tarvo")));
        QVERIFY(mk.Settings == before);
    }
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], "--as-user") == 0 && qstrcmp(argv[2], "save") == 0)
        return SaveAsUser(QString::fromLocal8Bit(argv[3]));
    if (argc == 4 && qstrcmp(argv[1], "--save-loop") == 0)
        return SaveInALoop(QString::fromLocal8Bit(argv[2]), qstrcmp(argv[3], "named") == 0);
    TestSettingsFile t;
    return QTest::qExec(&t, argc, argv);
}
#include "test_settings_file.moc"
