#pragma once

#include <QDialog>

// The About box: the icon, the tool's name and version line, the maker; OK or Escape close it.
class CAboutDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget *pParent = nullptr);

private:
    void CreateControls();
};
