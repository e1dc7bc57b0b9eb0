#include "ui/translation.h"

#include <QCoreApplication>
#include <QDir>
#include <QTranslator>

#include <memory>

namespace {

// The .qm files lie in the program's resources under this folder.
const QString kFolder = QStringLiteral(":/i18n");

struct Translation {
    QString code = QStringLiteral("ru");
    std::unique_ptr<QTranslator> translator;
    bool installed = false;
};

Translation& Current() {
    static Translation t;
    return t;
}

void Remove(Translation& t) {
    if (t.installed && t.translator)
        QCoreApplication::removeTranslator(t.translator.get());
    t.installed = false;
}

} // namespace

bool WindowIsEnglish() {
    return !Current().installed;
}

bool SetWindowLanguage(bool english) {
    Translation& t = Current();
    if (english) {
        Remove(t);
        return true;
    }
    if (t.installed)
        return true;
    if (!t.translator) {
        auto translator = std::make_unique<QTranslator>();
        if (!translator->load(QStringLiteral("tripconf_") + t.code, kFolder))
            return false;
        t.translator = std::move(translator);
    }
    t.installed = QCoreApplication::installTranslator(t.translator.get());
    return t.installed;
}

QString WindowTranslation() {
    return Current().code;
}

bool SetWindowTranslation(const QString& code) {
    Translation& t = Current();
    if (code.isEmpty() || code == t.code)
        return true;
    if (!AvailableTranslations().contains(code))
        return false;
    const bool wasInstalled = t.installed;
    Remove(t);
    t.translator.reset();
    t.code = code;
    if (wasInstalled)
        SetWindowLanguage(false);
    return true;
}

QStringList AvailableTranslations() {
    QStringList codes;
    const QStringList files =
        QDir(kFolder).entryList({QStringLiteral("tripconf_*.qm")}, QDir::Files, QDir::Name);
    for (const QString& f : files)
        codes << f.mid(9, f.size() - 9 - 3);
    return codes;
}
