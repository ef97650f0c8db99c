// The about box: application name, part number and the version line of the program.
#pragma once

#include <QDialog>
#include <QString>
#include <string>
#include <string_view>

class QLabel;
class QPushButton;

namespace ov {

// "Version " + productVersion + " (Build " + build + ")", the build being the text of
// fileVersion after its third "." (empty when it has fewer than three).
std::string AboutVersionLine(std::string_view fileVersion, std::string_view productVersion);

class TfmAbout : public QDialog {
    Q_OBJECT
  public:
    explicit TfmAbout(QWidget* parent = nullptr);

    // The version strings of the program (compiled into it); sets lblVersion.
    void SetVersionInfo(std::string_view fileVersion, std::string_view productVersion);

    QLabel* AppNameLabel;
    QLabel* PartNumberLabel;
    QLabel* lblVersion;
    QPushButton* btnOK;
};

}  // namespace ov
