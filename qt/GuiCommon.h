#pragma once

#include <string>

#include <QFont>
#include <QFontMetrics>
#include <QRect>
#include <QString>

// The dialogs were designed in dialog units of a 9-point CJK font; this maps them to pixels with
// the metrics of the font actually used, so the arrangement keeps its proportions on any system.
class CDialogUnits
{
public:
    explicit CDialogUnits(const QFont &font);

    int X(int nDu) const { return (nDu * m_nBaseX + 2) / 4; }
    int Y(int nDu) const { return (nDu * m_nBaseY + 4) / 8; }
    QRect Rect(int nX, int nY, int nWidth, int nHeight) const;

private:
    int m_nBaseX = 6;  // average character width, pixels
    int m_nBaseY = 12; // line height, pixels
};

// The dialogs' font: a 9-point CJK face that exists here, falling back to the classic one.
QFont KestrelDialogFont();

// Makes the icons and pictures compiled into the library reachable under ":/".
void EnsureKestrelResources();

// GBK is what the module and every length limit count in; the widgets speak QString. The
// conversions are the core's, so the window refuses exactly what the command line refuses.
std::string ToGbk(const QString &strText);
QString FromGbk(const std::string &strBytes);
// Whether GBK holds every character of the text; nBytes is then its length in GBK.
bool IsGbkText(const QString &strText, int &nBytes);
