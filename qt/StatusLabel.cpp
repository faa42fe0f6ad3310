#include "qt/StatusLabel.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPainter>

CStatusLabel::CStatusLabel(QWidget *pParent) : QPushButton(pParent)
{
    m_pFontNormal = &font();
    m_fontBold = font();
    m_fontBold.setWeight(QFont::Bold);
    setAutoDefault(false);
    setAccessibleName(QCoreApplication::translate("MainWindow", "状态"));
}

void CStatusLabel::SetText(const QString &strText)
{
    setText(strText);
    setAccessibleDescription(strText);
    update();
}

void CStatusLabel::changeEvent(QEvent *pEvent)
{
    // The bold face follows the font the dialog gives the label.
    if (pEvent->type() == QEvent::FontChange) {
        m_fontBold = font();
        m_fontBold.setWeight(QFont::Bold);
    }
    QPushButton::changeEvent(pEvent);
}

void CStatusLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect rect = this->rect();
    if (text().isEmpty()) {
        painter.fillRect(rect, palette().color(QPalette::Button));
        return;
    }
    PaintGradient(painter, rect);
    PaintText(painter, rect);
}

void CStatusLabel::PaintGradient(QPainter &painter, const QRect &rect) const
{
    // One column at a time, accumulating doubles and truncating, so the right edge stays one
    // step short of the target colour.
    const double dWidth = rect.width();
    double dRed = m_crFrom.red();
    double dGreen = m_crFrom.green();
    double dBlue = m_crFrom.blue();
    const double dStepRed = (m_crTo.red() - m_crFrom.red()) / dWidth;
    const double dStepGreen = (m_crTo.green() - m_crFrom.green()) / dWidth;
    const double dStepBlue = (m_crTo.blue() - m_crFrom.blue()) / dWidth;
    for (int x = rect.left(); x <= rect.right(); ++x) {
        const QColor cr(static_cast<int>(dRed), static_cast<int>(dGreen), static_cast<int>(dBlue));
        painter.fillRect(QRect(x, rect.top(), 1, rect.height()), cr);
        dRed += dStepRed;
        dGreen += dStepGreen;
        dBlue += dStepBlue;
    }
}

void CStatusLabel::PaintText(QPainter &painter, const QRect &rect) const
{
    QString strText = text();
    painter.setPen(m_crText);
    // A tab splits off a right-hand part; one at the very start does not count.
    const qsizetype nTab = strText.indexOf(QLatin1Char('\t'));
    if (nTab >= 1) {
        const QString strRight = strText.mid(nTab + 1);
        painter.setFont(*m_pFontNormal);
        const QFontMetrics metrics(*m_pFontNormal);
        const int nRightEdge = rect.left() + rect.width() - 2;
        painter.drawText(nRightEdge - metrics.horizontalAdvance(strRight),
                         rect.top() + 1 + metrics.ascent(), strRight);
        strText.truncate(nTab);
    }
    painter.setFont(m_fontBold);
    painter.drawText(rect.left() + 2, rect.top() + 1 + QFontMetrics(m_fontBold).ascent(), strText);
}
