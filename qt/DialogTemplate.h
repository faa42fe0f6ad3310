#pragma once

#include <functional>

#include <QHash>
#include <QPixmap>
#include <QString>

class QDialog;
class QWidget;

// The control statements of the resource script's dialog templates.
enum class EControlKind {
    LText,
    GroupBox,
    PushButton,
    DefPushButton,
    AutoCheckBox,
    Icon,
    EditText,
    ComboBox,
    Control, // a window class of its own: "Button", "Static", "msctls_trackbar32"
};

// The style flags of the resource script that matter to the Qt window, as bits of the table.
namespace RcStyle {
constexpr unsigned kEsNumber = 1u << 0;
constexpr unsigned kEsReadOnly = 1u << 1;
constexpr unsigned kCbsDropDown = 1u << 2; // with an edit field: any text can be typed
constexpr unsigned kCbsDropDownList = 1u << 3;
constexpr unsigned kCbsSort = 1u << 4; // the engine inserts in order: nothing to do in Qt
constexpr unsigned kWsDisabled = 1u << 5;
constexpr unsigned kBsAutoCheckBox = 1u << 6;
constexpr unsigned kBsOwnerDraw = 1u << 7;
constexpr unsigned kTbsVert = 1u << 8;
constexpr unsigned kTbsBoth = 1u << 9;
constexpr unsigned kTbsNoTicks = 1u << 10;
constexpr unsigned kSsNoPrefix = 1u << 11;
constexpr unsigned kSsBitmap = 1u << 12;
constexpr unsigned kSsIcon = 1u << 13;
} // namespace RcStyle

// One control of a dialog template, placed in dialog units.
struct CTemplateControl
{
    EControlKind eKind;
    const char *pszClass; // the window class of a CONTROL statement, else empty
    const char *pszText;  // the catalogue's source text, without the blanks that end it
    int nTrailingBlanks;  // room the text keeps after it, for a control drawn over its line
    const char *pszImage; // the resource name of a picture (ICON, SS_BITMAP), else empty
    int nId;              // -1 for a static no code addresses
    int nX, nY, nWidth, nHeight;
    unsigned nStyle; // RcStyle bits
};

// One dialog template of the resource script, its controls in the script's order.
struct CDialogTemplate
{
    int nId;                // IDD_... of res/resource.h
    const char *pszContext; // the catalogue context of its texts
    const char *pszCaption;
    int nFontPoints;
    int nWidth, nHeight; // dialog units
    const CTemplateControl *pControls;
    int nControls;
};

// Generated at build time from res/kestrel.rc by cmake/RcToCpp.cmake.
extern const CDialogTemplate g_aDialogTemplates[];
extern const int g_nDialogTemplates;

// What a dialog brings that its template only names: its pictures, by resource name, and the
// widget of each owner-drawn control.
struct CTemplateExtras
{
    QHash<QString, QPixmap> pictures;
    std::function<QWidget *(const CTemplateControl &control, QWidget *pParent)> fnOwnerDrawn;
};

// Gives pDialog the font, size, caption and widgets of template nTemplateId, placed as the
// template places them, the texts in the user's language. The result maps each control's id to
// its widget.
QHash<int, QWidget *> CreateTemplateControls(QDialog *pDialog, int nTemplateId,
                                             const CTemplateExtras &extras = {});
