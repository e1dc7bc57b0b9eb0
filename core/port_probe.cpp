#include "core/port_probe.h"

#include "core/port_texts.h"
#include "core/protocol.h"
#include "link/serial_link.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

std::optional<uint16_t> ProbeVersion(const QString& path, int replyMs) {
    TSerialLink link;
    link.ShowPortProblem = [](const TPortProblem&) {};
    link.SetDevicePath(path);
    link.SetPortOpen(true);
    if (!link.IsPortOpen())
        return std::nullopt;
    link.SetBaudRate(kTransferBaudRate);
    link.ReplyTimeout = uint16_t(replyMs);
    link.ByteTimeout = uint16_t(replyMs);
    // The link's attempts without their pauses: a silent port must not hold
    // up the listing.
    link.RetryPause = 0;
    try {
        link.Request(kDeviceAddress, kVersionCommand, kVersionReplyLength);
        link.GetByte();
        return link.GetWord();
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

QList<TPortReport> SurveyPorts(TIniFile& ini, bool probe) {
    TSerialLink link;
    link.ShowPortProblem = [](const TPortProblem&) {};
    link.LoadPortTable(ini);
    QList<TPortReport> out;
    for (TPortChoice p : link.PortTableEntries()) {
        p.state = link.InspectPort(p.number);
        // A port another program holds is not asked: the request would reach it.
        TPortReport r{p, probe && p.state.kind == TOpenFailure::Kind::None, std::nullopt};
        if (r.probed)
            r.version = ProbeVersion(p.devicePath);
        out.append(r);
    }
    return out;
}

QString PortReportText(const QList<TPortReport>& reports) {
    QString text;
    for (const TPortReport& r : reports) {
        QString line = QStringLiteral("COM%1  %2").arg(r.port.number).arg(r.port.devicePath);
        if (!r.port.description.isEmpty())
            line += QStringLiteral("  ") + r.port.description;
        line += QStringLiteral("  ") + PortStateText(r.port.state);
        if (r.probed)
            line += r.version ? QStringLiteral(", answers: settings version %1").arg(*r.version)
                              : QStringLiteral(", no answer");
        text += line + QLatin1Char('\n');
    }
    return text;
}

QString PortReportJson(const QList<TPortReport>& reports) {
    const auto textOrNull = [](const QString& s) { return s.isEmpty() ? QJsonValue() : s; };
    const auto id = [](bool has, uint16_t v) {
        return has ? QJsonValue(QStringLiteral("%1").arg(v, 4, 16, QLatin1Char('0')))
                   : QJsonValue();
    };
    QJsonArray array;
    for (const TPortReport& r : reports) {
        const TSerialDeviceInfo& a = r.port.adapter;
        QJsonObject o{
            {QStringLiteral("port"), QStringLiteral("COM%1").arg(r.port.number)},
            {QStringLiteral("path"), r.port.devicePath},
            {QStringLiteral("description"), textOrNull(a.description)},
            {QStringLiteral("manufacturer"), textOrNull(a.manufacturer)},
            {QStringLiteral("serialNumber"), textOrNull(a.serialNumber)},
            {QStringLiteral("vendorId"), id(a.hasUsbIds, a.vendorId)},
            {QStringLiteral("productId"), id(a.hasUsbIds, a.productId)},
            {QStringLiteral("permissionDenied"), r.port.permissionDenied},
            {QStringLiteral("state"), QString::fromLatin1(PortStateCode(r.port.state.kind))},
            {QStringLiteral("reason"), r.port.state.kind == TOpenFailure::Kind::None
                                           ? QJsonValue()
                                           : QJsonValue(PortStateText(r.port.state))}};
        if (r.probed) {
            o.insert(QStringLiteral("answers"), r.version.has_value());
            o.insert(QStringLiteral("version"),
                     r.version ? QJsonValue(int(*r.version)) : QJsonValue());
        }
        array.append(o);
    }
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented));
}
