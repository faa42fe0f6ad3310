// The status line's painting, rendered offscreen into images.

#include "qt/StatusLabel.h"

#include <QApplication>
#include <QImage>
#include <QtTest>

namespace {
constexpr QSize kLabelSize{200, 22};
constexpr int kInkThreshold = 180; // gradient channels stay at or below 128; text is white

QImage Render(const QString &strText, QSize size = kLabelSize, bool bEnabled = true)
{
    CStatusLabel label;
    label.resize(size);
    label.setEnabled(bEnabled);
    label.SetText(strText);
    QImage image(size, QImage::Format_RGB32);
    label.render(&image);
    return image;
}

bool IsInk(QRgb rgb)
{
    return qRed(rgb) > kInkThreshold && qGreen(rgb) > kInkThreshold && qBlue(rgb) > kInkThreshold;
}

int InkCount(const QImage &image, int nFromX, int nToX)
{
    int nCount = 0;
    for (int x = nFromX; x < nToX; ++x) {
        for (int y = 0; y < image.height(); ++y)
            nCount += IsInk(image.pixel(x, y)) ? 1 : 0;
    }
    return nCount;
}

// Leftmost and rightmost columns holding text ink, or -1.
std::pair<int, int> InkColumns(const QImage &image)
{
    int nFirst = -1;
    int nLast = -1;
    for (int x = 0; x < image.width(); ++x) {
        if (InkCount(image, x, x + 1) > 0) {
            nFirst = nFirst < 0 ? x : nFirst;
            nLast = x;
        }
    }
    return {nFirst, nLast};
}
} // namespace

class CStatusLabelTest : public QObject
{
    Q_OBJECT

private slots:
    void gradientEnds_data();
    void gradientEnds();
    void gradientIsMonotonic();
    void emptyTextShowsButtonColour();
    void tabSplitsRightPartInNormalWeight();
    void leadingTabDrawsWholeTextLeft();
    void disabledLooksTheSame();
    void accessibleDescriptionFollowsText();
};

void CStatusLabelTest::gradientEnds_data()
{
    QTest::addColumn<int>("nWidth");
    QTest::addColumn<int>("nLastRed");
    QTest::addColumn<int>("nLastGreen");
    QTest::newRow("200 px runs to (127,0,128)") << 200 << 127 << 0;
    QTest::newRow("128 px, one step is one unit") << 128 << 127 << 1;
    QTest::newRow("2 px, half way") << 2 << 64 << 64;
}

void CStatusLabelTest::gradientEnds()
{
    QFETCH(int, nWidth);
    QFETCH(int, nLastRed);
    QFETCH(int, nLastGreen);
    // Text kept in the left corner so that both end columns are pure gradient.
    const QImage image = Render(QStringLiteral("."), QSize(nWidth, 22));
    const int nBottom = image.height() - 1;
    QCOMPARE(QColor(image.pixel(0, nBottom)), QColor(0, 128, 128));
    QCOMPARE(QColor(image.pixel(nWidth - 1, nBottom)), QColor(nLastRed, nLastGreen, 128));
}

void CStatusLabelTest::gradientIsMonotonic()
{
    const QImage image = Render(QStringLiteral("."));
    const int nBottom = image.height() - 1;
    for (int x = 1; x < image.width(); ++x) {
        const QRgb left = image.pixel(x - 1, nBottom);
        const QRgb right = image.pixel(x, nBottom);
        QVERIFY2(qRed(right) >= qRed(left) && qGreen(right) <= qGreen(left),
                 qPrintable(QStringLiteral("column %1").arg(x)));
        QCOMPARE(qBlue(right), 128);
    }
    // Every column is one solid colour from top to bottom, away from the text at the left.
    for (int x = image.width() / 4; x < image.width(); ++x) {
        for (int y = 0; y < image.height(); ++y)
            QCOMPARE(image.pixel(x, y), image.pixel(x, nBottom));
    }
}

void CStatusLabelTest::emptyTextShowsButtonColour()
{
    CStatusLabel label;
    const QColor crButton = label.palette().color(QPalette::Button);
    const QImage image = Render(QString());
    for (const QPoint pt : {QPoint(0, 0), QPoint(100, 11), QPoint(199, 21)})
        QCOMPARE(QColor(image.pixel(pt)), crButton);
}

void CStatusLabelTest::tabSplitsRightPartInNormalWeight()
{
    const QString strRight = QStringLiteral("WWWW");
    const QImage split = Render(QStringLiteral("A\t") + strRight);
    // The right part ends two pixels inside the right edge (glyph bearings allow a little).
    const auto [nFirst, nLast] = InkColumns(split);
    QVERIFY(nFirst >= 2 && nFirst <= 4);
    QVERIFY2(nLast <= kLabelSize.width() - 2 && nLast >= kLabelSize.width() - 6,
             qPrintable(QString::number(nLast)));
    // Normal weight carries less ink than the same text in the bold left position.
    const QImage bold = Render(strRight);
    const int nRightInk = InkCount(split, kLabelSize.width() / 2, kLabelSize.width());
    const int nBoldInk = InkCount(bold, 0, kLabelSize.width() / 2);
    QVERIFY2(nRightInk > 0 && nRightInk < nBoldInk,
             qPrintable(QStringLiteral("normal %1, bold %2").arg(nRightInk).arg(nBoldInk)));
}

void CStatusLabelTest::leadingTabDrawsWholeTextLeft()
{
    const QImage image = Render(QStringLiteral("\tAB"));
    const auto [nFirst, nLast] = InkColumns(image);
    QVERIFY(nFirst >= 2);
    QVERIFY2(nLast < kLabelSize.width() / 2, qPrintable(QString::number(nLast)));
    // Split at the first of two tabs: the second stays in the right part, drawn at the right.
    const QImage two = Render(QStringLiteral("L\tR\tS"));
    QVERIFY(InkColumns(two).second >= kLabelSize.width() - 6);
}

void CStatusLabelTest::disabledLooksTheSame()
{
    const QString strText = QStringLiteral("准备就绪");
    QCOMPARE(Render(strText, kLabelSize, false), Render(strText, kLabelSize, true));
}

void CStatusLabelTest::accessibleDescriptionFollowsText()
{
    CStatusLabel label;
    label.SetText(QStringLiteral("查询完成"));
    QCOMPARE(label.accessibleName(), QStringLiteral("状态"));
    QCOMPARE(label.accessibleDescription(), QStringLiteral("查询完成"));
}

QTEST_MAIN(CStatusLabelTest)
#include "status_label_test.moc"
