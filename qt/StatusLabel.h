#pragma once

#include <QColor>
#include <QFont>
#include <QPushButton>

// The status line: a button that paints a teal-to-purple gradient with white bold text, the part
// after the first tab right-aligned in the normal weight; looks the same in every state.
class CStatusLabel : public QPushButton
{
    Q_OBJECT

public:
    explicit CStatusLabel(QWidget *pParent = nullptr);

    // Sets the text, keeps the accessible description in step and repaints.
    void SetText(const QString &strText);

    QColor m_crFrom{0, 128, 128};
    QColor m_crTo{128, 0, 128};
    QColor m_crText{255, 255, 255};

protected:
    void paintEvent(QPaintEvent *pEvent) override;
    void changeEvent(QEvent *pEvent) override;

private:
    void PaintGradient(QPainter &painter, const QRect &rect) const;
    void PaintText(QPainter &painter, const QRect &rect) const;

    QFont m_fontBold;
    const QFont *m_pFontNormal = nullptr; // the label's own font, not owned
};
