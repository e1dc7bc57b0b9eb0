#include "editor/field_captions.h"

#include "editor/set_params_dlg.h"
#include "model/field_edit.h"
#include "model/mk.h"

#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QTabWidget>

namespace {

QString Plain(QString text) {
    return text.remove(QLatin1Char('&')).simplified();
}

// Read from the editor itself, once, so the captions are the ones it shows.
QHash<QString, QString> BuildCaptions() {
    QHash<QString, QString> out;
    TMK mk;
    TMK_SetParamsDlg dlg(mk);
    const QList<QLabel*> labels = dlg.findChildren<QLabel*>();
    for (const EditField& f : EditFields()) {
        const QString control = QString::fromLatin1(f.control);
        if (control.isEmpty())
            continue;
        QWidget* w = dlg.findChild<QWidget*>(control);
        if (!w)
            continue;
        QString caption;
        if (auto* box = qobject_cast<QGroupBox*>(w))
            caption = box->title();
        for (QLabel* l : labels)
            if (caption.isEmpty() && l->buddy() == w)
                caption = l->text();
        for (QWidget* p = w->parentWidget(); caption.isEmpty() && p; p = p->parentWidget())
            if (auto* box = qobject_cast<QGroupBox*>(p))
                caption = box->title();
        if (caption.isEmpty())
            if (const int page = dlg.PageControl->indexOf(w->parentWidget()); page >= 0)
                caption = dlg.PageControl->tabText(page);
        out.insert(QString::fromLatin1(f.name), Plain(caption));
        // A record field holding several controls' bits (Flags) names them all.
        if (f.storedIn) {
            QString& whole = out[QString::fromLatin1(f.storedIn)];
            whole += (whole.isEmpty() ? QString() : QStringLiteral("; ")) + Plain(caption);
        }
    }
    return out;
}

} // namespace

QString EditorCaption(const QString& fieldName) {
    static const QHash<QString, QString> captions = BuildCaptions();
    return captions.value(fieldName);
}
