// Checks that a program linking quimbel_resources statically finds the icon
// at its resource path, and that Qt's own ICO reader accepts every image in it.
// Lives beside the resources because it tests how they are linked.

#include "QuimbelIcon.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QSize>

#include <algorithm>
#include <vector>

#ifndef QUIMBEL_ICON_FILE
#error "QUIMBEL_ICON_FILE must name the generated quimbel.ico"
#endif

namespace {

bool lessBySide(const QSize& a, const QSize& b) {
    return a.width() != b.width() ? a.width() < b.width() : a.height() < b.height();
}

TEST(IconResource, HoldsTheGeneratedFile) {
    QFile linked(QString::fromLatin1(quimbel::IconResource));
    ASSERT_TRUE(linked.open(QIODevice::ReadOnly)) << "resource not linked in";
    QFile built(QStringLiteral(QUIMBEL_ICON_FILE));
    ASSERT_TRUE(built.open(QIODevice::ReadOnly));
    EXPECT_TRUE(linked.readAll() == built.readAll()) << "resource differs from the generated file";
}

TEST(IconResource, QtReadsAllTwelveImages) {
    QImageReader reader(QString::fromLatin1(quimbel::IconResource));
    ASSERT_TRUE(reader.canRead()) << reader.errorString().toStdString();
    EXPECT_EQ(reader.format(), QByteArray("ico"));
    ASSERT_EQ(reader.imageCount(), 12);

    std::vector<QSize> sizes;
    int withAlpha = 0;
    for (int i = 0; i < reader.imageCount(); ++i) {
        ASSERT_TRUE(reader.jumpToImage(i));
        const QImage image = reader.read();
        ASSERT_FALSE(image.isNull()) << "image " << i << ": " << reader.errorString().toStdString();
        sizes.push_back(image.size());
        withAlpha += image.hasAlphaChannel() ? 1 : 0;
    }
    std::vector<QSize> expected;
    for (int side : {32, 48, 32, 16, 48, 32, 16, 256, 128, 48, 32, 16})
        expected.emplace_back(side, side);
    std::sort(sizes.begin(), sizes.end(), lessBySide);
    std::sort(expected.begin(), expected.end(), lessBySide);
    EXPECT_EQ(sizes, expected);
    EXPECT_EQ(withAlpha, 12) << "every image has transparent corners";
}

TEST(IconResource, ApplicationIconOffersEveryThemeSize) {
    const QIcon icon = quimbel::ApplicationIcon();
    ASSERT_FALSE(icon.isNull());
    const QList<QSize> available = icon.availableSizes();
    for (int side : {16, 32, 48, 128, 256}) {
        EXPECT_TRUE(available.contains(QSize(side, side))) << side << "x" << side << " missing";
    }
    const QImage small = icon.pixmap(QSize(16, 16)).toImage();
    ASSERT_EQ(small.size(), QSize(16, 16));
    EXPECT_EQ(qAlpha(small.pixel(0, 0)), 0) << "corner should be transparent";
    EXPECT_EQ(qAlpha(small.pixel(8, 6)), 255) << "screen should be opaque";
}

} // namespace

int main(int argc, char** argv) {
    // Runs without a display: the icon needs a GUI application, not a screen.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
