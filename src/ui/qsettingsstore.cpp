// QSettings in INI format, so that values survive byte for byte.
#include "ui/qsettingsstore.h"

#include <QSettings>
#include <QString>

namespace morvik::ui {
namespace {

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

void QSettingsStore::save(const std::string& appName, const std::string& section,
                          const std::string& key, const std::string& value) {
    const QString app = fromUtf8(appName);
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, app, app);
    settings.beginGroup(fromUtf8(section));
    // Stored as a string, never as a list: INI quotes a text with commas or
    // surrounding spaces and reads it back the same.
    settings.setValue(fromUtf8(key), fromUtf8(value));
    settings.endGroup();
    settings.sync();
}

std::string QSettingsStore::read(const std::string& appName, const std::string& section,
                                 const std::string& key) {
    const QString app = fromUtf8(appName);
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, app, app);
    settings.beginGroup(fromUtf8(section));
    const QString text = settings.value(fromUtf8(key)).toString();
    return text.toStdString();
}

} // namespace morvik::ui
