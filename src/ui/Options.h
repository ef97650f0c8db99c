// The options dialog: the log detail level of the status messages, 0 to 10.
#pragma once

#include <QDialog>
#include <cstdint>

class QComboBox;
class QLabel;
class QPushButton;

namespace ov {

class TfrmOptions : public QDialog {
    Q_OBJECT
  public:
    explicit TfrmOptions(QWidget* parent = nullptr);

    // The level handed in before showing and handed back after OK: -1 when OK was pressed
    // with nothing selected. Cancel leaves it as it was.
    std::int32_t LogDetail() const { return logDetail_; }
    void SetLogDetail(std::int32_t level);

    QComboBox* cboLogDetail;
    QPushButton* btnOK;
    QPushButton* btnCancel;

  protected:
    void showEvent(QShowEvent* event) override;

  private Q_SLOTS:
    void btnOKClick();

  private:
    void ShowLevel();
    std::int32_t logDetail_ = 0;
};

}  // namespace ov
