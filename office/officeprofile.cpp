#include "office/officeprofile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

namespace office::detail {

namespace {

// Keeps the new profile quiet and in a Chinese locale: numbers and dates are
// displayed as on a Simplified Chinese desktop; no lock files beside the
// documents, no backups, no recovery data. The files it opens come from
// elsewhere and are not trusted: nothing they link to (images, frames, OLE
// and DDE links, external data) is fetched or updated, and no macro runs.
const char kProfileSettings[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Setup/L10N"><prop oor:name="ooSetupSystemLocale" oor:op="fuse"><value>zh-CN</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="UseDocumentOOoLockFile" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="UseDocumentSystemFileLocking" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="UseLocking" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="FirstRun" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="ShowTipOfTheDay" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Save/Document"><prop oor:name="CreateBackup" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Recovery/AutoSave"><prop oor:name="Enabled" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Recovery/RecoveryInfo"><prop oor:name="Enabled" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Security/Scripting"><prop oor:name="BlockUntrustedRefererLinks" oor:op="fuse"><value>true</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Security/Scripting"><prop oor:name="DisableMacrosExecution" oor:op="fuse"><value>true</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Security/Scripting"><prop oor:name="MacroSecurityLevel" oor:op="fuse"><value>3</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Security/Scripting"><prop oor:name="ExecutePlugins" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Calc/Content/Update"><prop oor:name="Link" oor:op="fuse"><value>1</value></prop></item>
<item oor:path="/org.openoffice.Office.Writer/Content/Update"><prop oor:name="Link" oor:op="fuse"><value>0</value></prop></item>
)";

// A profile last used by another version makes the office run its graphics
// self-test at start-up (seconds of CPU). Stating that this profile was last
// used by the installed version spares it.
const char kLastVersionSetting[] =
    R"(<item oor:path="/org.openoffice.Setup/Product"><prop oor:name="ooSetupLastVersion" oor:op="fuse"><value>%1</value></prop></item>
)";

// The installed version as major.minor, as the office compares it with the
// profile's: its configuration's ooSetupVersion, else the product name in
// bootstraprc ("LibreOffice 7.4"). Empty when neither says.
QString installedVersion(const QString& programDir)
{
    static const QRegularExpression majorMinor(QStringLiteral("^\\d+\\.\\d+$"));
    QFile xcd(programDir + QStringLiteral("/../share/registry/main.xcd"));
    if (xcd.open(QIODevice::ReadOnly)) {
        const QByteArray text = xcd.readAll();
        const QByteArray prop = "<prop oor:name=\"ooSetupVersion\">";
        const qsizetype at = text.indexOf(prop);
        const qsizetype open = at < 0 ? -1 : text.indexOf("<value>", at + prop.size());
        const qsizetype close = open < 0 ? -1 : text.indexOf("</value>", open);
        if (close > open && close - open < 40) {
            const QString v = QString::fromLatin1(text.mid(open + 7, close - open - 7)).trimmed();
            if (majorMinor.match(v).hasMatch())
                return v;
        }
    }
    QFile bootstraprc(programDir + QStringLiteral("/bootstraprc"));
    if (bootstraprc.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : bootstraprc.readAll().split('\n')) {
            if (!line.startsWith("ProductKey="))
                continue;
            const QString v = QString::fromUtf8(line.mid(11)).trimmed().section(u' ', -1);
            if (majorMinor.match(v).hasMatch())
                return v;
        }
    }
    return {};
}

// The system's fonts, less the Japanese, Korean and traditional Chinese faces
// of the Noto CJK collections: each repeats the coverage of the simplified
// Chinese face, and the office reads the character map of every face it
// sees while it starts (a third of its start-up).
const char kFontSettings[] = R"(<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig>
<include ignore_missing="no">/etc/fonts/fonts.conf</include>
%2<selectfont><rejectfont>
%1</rejectfont></selectfont>
</fontconfig>
)";

QByteArray fontSettings()
{
    QString rejected;
    for (const char* kind : {"Sans", "Serif", "Sans Mono"})
        for (const char* region : {"JP", "KR", "TC", "HK"})
            rejected += QStringLiteral("<pattern><patelt name=\"family\"><string>Noto %1 CJK "
                                       "%2</string></patelt></pattern>\n")
                            .arg(QLatin1String(kind), QLatin1String(region));
    // The office's home is its private folder: the operator's own fonts are
    // named by their real folders, read there, never written.
    QString ownFonts;
    const QString home = QDir::homePath();
    const QString data =
        qEnvironmentVariable("XDG_DATA_HOME", home + QStringLiteral("/.local/share"));
    for (const QString& folder :
         {data + QStringLiteral("/fonts"), home + QStringLiteral("/.fonts")})
        if (QFileInfo(folder).isDir())
            ownFonts += QStringLiteral("<dir>%1</dir>\n").arg(folder.toHtmlEscaped());
    return QString::fromLatin1(kFontSettings).arg(rejected, ownFonts).toUtf8();
}

void markExtensionsSynchronized(const QString& tempDir, const QString& programDir)
{
    // A new profile makes the office synchronise its extensions and exit with
    // 81 to be started again, which costs a second start. Stating that the
    // profile belongs to this build spares it; should the office still ask,
    // start-up handles the 81.
    QFile versionrc(programDir + QStringLiteral("/versionrc"));
    if (!versionrc.open(QIODevice::ReadOnly))
        return;
    for (const QByteArray& line : versionrc.readAll().split('\n')) {
        if (!line.startsWith("buildid="))
            continue;
        QDir().mkpath(tempDir + QStringLiteral("/profile/user/extensions"));
        QFile buildid(tempDir + QStringLiteral("/profile/user/extensions/buildid"));
        if (buildid.open(QIODevice::WriteOnly))
            buildid.write(line.mid(8).trimmed());
        return;
    }
}

} // namespace

QString profileUrlOf(const QString& tempDir)
{
    return QUrl::fromLocalFile(tempDir + QStringLiteral("/profile")).toString();
}

void writeProfile(const QString& tempDir, const QString& programDir)
{
    QDir().mkpath(tempDir + QStringLiteral("/profile/user"));
    QFile settings(tempDir + QStringLiteral("/profile/user/registrymodifications.xcu"));
    if (settings.open(QIODevice::WriteOnly)) {
        settings.write(kProfileSettings);
        if (const QString version = installedVersion(programDir); !version.isEmpty())
            settings.write(QString::fromLatin1(kLastVersionSetting).arg(version).toUtf8());
        settings.write("</oor:items>\n");
    }
    settings.close();
    markExtensionsSynchronized(tempDir, programDir);
}

QString writeFontConfig(const QString& tempDir)
{
    if (!QFileInfo::exists(QStringLiteral("/etc/fonts/fonts.conf")))
        return {};
    QFile fonts(tempDir + QStringLiteral("/fonts.conf"));
    if (fonts.open(QIODevice::WriteOnly) && fonts.write(fontSettings()) > 0 && fonts.flush())
        return fonts.fileName();
    return {};
}

} // namespace office::detail
