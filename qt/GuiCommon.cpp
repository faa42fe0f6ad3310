#include "qt/GuiCommon.h"

#include "protocol/GbkText.h"

#include <QStringList>

CDialogUnits::CDialogUnits(const QFont &font)
{
    // The same averaging the dialog manager uses: the 52 Latin letters.
    const QFontMetrics metrics(font);
    const QString strLetters =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    m_nBaseX = (metrics.horizontalAdvance(strLetters) + 26) / 52;
    m_nBaseY = metrics.height();
}

QRect CDialogUnits::Rect(int nX, int nY, int nWidth, int nHeight) const
{
    return QRect(X(nX), Y(nY), X(nWidth), Y(nHeight));
}

QFont KestrelDialogFont()
{
    QFont font;
    const QStringList families = {QStringLiteral("WenQuanYi Micro Hei"),
                                  QStringLiteral("Noto Sans CJK SC"), QStringLiteral("SimSun")};
    font.setFamilies(families);
    font.setPointSize(9);
    return font;
}

void EnsureKestrelResources()
{
    // The resources live in a static library: nothing would pull their registration in.
    Q_INIT_RESOURCE(kestrel);
}

std::string ToGbk(const QString &strText)
{
    if (std::optional<std::string> gbk = Utf8ToGbk(strText.toStdString()))
        return std::move(*gbk);
    // No typed text gets here: the validators refuse such characters in every field. What else
    // is shown came from GBK bytes; should one hold U+FFFD for a byte that was not GBK, that
    // character becomes "?" and the rest is kept.
    std::string strGbk;
    for (const uint nCodePoint : strText.toUcs4()) {
        const QString strChar =
            QString::fromUcs4(reinterpret_cast<const char32_t *>(&nCodePoint), 1);
        strGbk += Utf8ToGbk(strChar.toStdString()).value_or("?");
    }
    return strGbk;
}

QString FromGbk(const std::string &strBytes)
{
    return QString::fromStdString(GbkToUtf8(strBytes));
}

bool IsGbkText(const QString &strText, int &nBytes)
{
    const std::optional<std::string> gbk = Utf8ToGbk(strText.toStdString());
    nBytes = gbk ? static_cast<int>(gbk->size()) : 0;
    return gbk.has_value();
}
