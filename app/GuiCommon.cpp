#include "app/GuiCommon.h"

#include <QStringDecoder>
#include <QStringEncoder>
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
    QStringEncoder encoder("GBK");
    const QByteArray bytes = encoder.encode(strText);
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

QString FromGbk(const std::string &strBytes)
{
    QStringDecoder decoder("GBK");
    return decoder.decode(QByteArrayView(strBytes.data(), static_cast<qsizetype>(strBytes.size())));
}

int GbkLength(const QString &strText)
{
    QStringEncoder encoder("GBK", QStringConverter::Flag::Stateless);
    const QByteArray bytes = encoder.encode(strText);
    return encoder.hasError() ? -1 : static_cast<int>(bytes.size());
}
