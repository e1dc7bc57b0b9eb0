#include "model/key_table.h"
#include "model/mk.h"
#include "model/settings_file.h"
#include "support/errors.h"
#include "support/file_io.h"

#include <QCryptographicHash>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

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
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        rlimit lim = old_;
        lim.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lim);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

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
        {
            FileSizeLimit limit(100);
            QVERIFY_THROWS_EXCEPTION(TripError, SaveSettingsFile(mk, name));
            QVERIFY_THROWS_EXCEPTION(TripError, SaveSettingsFile(mk, Path("no/such/dir/x.tarvg")));
        }
        QCOMPARE(Read(name), QByteArray("previous content"));
        QCOMPARE(QDir(dir.path())
                     .entryList(QDir::Files | QDir::Hidden)
                     .count(QStringLiteral("keep.tarvg")),
                 1);
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

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "test_settings_file.moc"
