#include "link/port_table.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

// The devices come from /sys/class/tty: listing them this way opens none (the
// serial library's own listing opens UART ports to see whether a chip is
// behind them). COM n follows their names in natural order.

namespace {

// "ttyS2" before "ttyS10": runs of digits compare by value.
bool NaturalLess(const QString& a, const QString& b) {
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            while (i < a.size() && a[i] == QLatin1Char('0') && i + 1 < a.size() &&
                   a[i + 1].isDigit())
                ++i;
            while (j < b.size() && b[j] == QLatin1Char('0') && j + 1 < b.size() &&
                   b[j + 1].isDigit())
                ++j;
            qsizetype ie = i, je = j;
            while (ie < a.size() && a[ie].isDigit())
                ++ie;
            while (je < b.size() && b[je].isDigit())
                ++je;
            if (ie - i != je - j)
                return ie - i < je - j;
            if (const int c = QStringView(a).mid(i, ie - i).compare(QStringView(b).mid(j, je - j));
                c != 0)
                return c < 0;
            i = ie;
            j = je;
        } else {
            if (a[i] != b[j])
                return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

} // namespace

QList<TSerialDeviceInfo> SystemSerialDevices() {
    QList<TSerialDeviceInfo> out;
    const QDir ttys(QStringLiteral("/sys/class/tty"));
    const auto text = [](const QString& file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll().trimmed()) : QString();
    };
    for (const QString& name : ttys.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System)) {
        const QString sys = ttys.filePath(name);
        // Hardware only: consoles, virtual terminals and pseudo-terminals have no device.
        const QString device = QFileInfo(sys + QStringLiteral("/device")).canonicalFilePath();
        if (device.isEmpty())
            continue;
        // A UART slot with no chip behind it (type 0) is no port; read, not opened.
        if (const QString type = text(sys + QStringLiteral("/type")); type == QLatin1String("0"))
            continue;
        TSerialDeviceInfo d;
        d.devicePath = QStringLiteral("/dev/") + name;
        if (!QFileInfo::exists(d.devicePath))
            continue;
        // The USB device is the nearest folder above with the ids.
        for (QDir up(device); !up.isRoot(); up.cdUp()) {
            if (!up.exists(QStringLiteral("idVendor")))
                continue;
            bool okV = false, okP = false;
            d.vendorId = uint16_t(text(up.filePath(QStringLiteral("idVendor"))).toUInt(&okV, 16));
            d.productId = uint16_t(text(up.filePath(QStringLiteral("idProduct"))).toUInt(&okP, 16));
            d.hasUsbIds = okV && okP;
            d.description = text(up.filePath(QStringLiteral("product")));
            d.manufacturer = text(up.filePath(QStringLiteral("manufacturer")));
            d.serialNumber = text(up.filePath(QStringLiteral("serial")));
            break;
        }
        out.append(d);
    }
    return out;
}

QStringList DefaultPortPaths(const QList<TSerialDeviceInfo>& devices) {
    QList<TSerialDeviceInfo> sorted = devices;
    std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
        return NaturalLess(a.devicePath, b.devicePath);
    });
    QStringList paths;
    for (const TSerialDeviceInfo& d : sorted)
        paths << d.devicePath;
    return paths;
}
