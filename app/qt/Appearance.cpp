#include "Appearance.h"

#include "DesktopLaunch.h"
#include "QuimbelIcon.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLibraryInfo>
#include <QPixmap>
#include <QStringList>
#include <QTranslator>

#include <cstdio>
#include <future>
#include <system_error>

namespace quimbel::ui {

bool IsInstalledFamily(std::string_view family) {
    static const QStringList installed = QFontDatabase::families();
    return installed.contains(QString::fromUtf8(family.data(), qsizetype(family.size())),
                              Qt::CaseInsensitive);
}

QFont FontOf(const FontRequest& request) {
    QFont font;
    QStringList families;
    for (const std::string& family : InstalledFamilies(request.families, IsInstalledFamily))
        families << QString::fromStdString(family);
    font.setFamilies(families);
    font.setPixelSize(request.pixels);
    font.setBold(request.bold);
    return font;
}

QFont DefaultFont() {
    return FontOf({DefaultFontFamilies(), FontPixelsAt(WindowFontPoints, DesignDpi), false});
}

namespace {

QIcon IconOffTheGuiThread() {
    // Where pixmaps belong to the GUI thread alone this one comes out null,
    // and the icon is left to the GUI thread.
    if (QPixmap(1, 1).isNull())
        return {};
    return ApplicationIcon();
}

// Title bars and task switchers use at most 64 pixels, 128 on a 2x screen.
// The 256-pixel image would only be converted and sent to the window system
// for every window: it is for the program file and the desktop's icon theme.
QIcon WindowIcon(const QIcon& full) {
    QIcon icon;
    for (const QSize& size : full.availableSizes())
        if (size.width() <= 128)
            icon.addPixmap(full.pixmap(size));
    return icon;
}

} // namespace

bool InstallQtTranslations(QApplication& app, const QString& directory) {
    // Owned by the application: it must translate for as long as there are
    // widgets. Loading maps the file; its strings are read as they are asked for.
    auto* translator = new QTranslator(&app);
    if (translator->load(QStringLiteral("qtbase_zh_CN"), directory) &&
        QCoreApplication::installTranslator(translator))
        return true;
    delete translator;
    std::fprintf(stderr,
                 "quimbel: Qt's Simplified Chinese translations (qtbase_zh_CN.qm) are not in "
                 "%s, so Qt's own texts such as the fields' menus show in English; install "
                 "qt6-translations-l10n\n",
                 qUtf8Printable(directory));
    return false;
}

void SetUpApplication(QApplication& app) {
    // The icon's twelve images decode on another core while fontconfig reads
    // its configuration, the slowest step of start-up; both are done before
    // any window is built.
    std::future<QIcon> pendingIcon;
    try {
        pendingIcon = std::async(std::launch::async, IconOffTheGuiThread);
    } catch (const std::system_error&) {
        // No thread to be had: the icon loads below, on this one.
    }
    app.setQuitOnLastWindowClosed(false);
    InstallQtTranslations(app, QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    // The windows belong to the installed desktop entry: on Wayland this is
    // their app_id, which a shell matches to the entry's icon and name.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(DesktopEntryName));
    const QFont font = DefaultFont();
    const QString family = QFontInfo(font).family();
    if (!QFontDatabase::writingSystems(family).contains(QFontDatabase::SimplifiedChinese))
        std::fprintf(stderr, "quimbel: no Simplified Chinese font found, so Chinese text may "
                             "not show; install one such as fonts-noto-cjk\n");
    QApplication::setFont(font);
    QIcon icon = pendingIcon.valid() ? pendingIcon.get() : QIcon();
    if (icon.isNull())
        icon = ApplicationIcon();
    QApplication::setWindowIcon(WindowIcon(icon));
}

} // namespace quimbel::ui
