// The exit confirmation asked before the program closes, the closing question of the
// automation server, and the process-wide flags around them.
#pragma once

#include <QDialog>
#include <chrono>
#include <cstdint>

class QLabel;
class QPushButton;
class QTimer;

namespace ov {

// Main thread only. Set by the setup server's shutdown command: the close skips the question.
extern bool ForcedClose;
// Main thread only. True while ConfirmExit asks; a second close request meanwhile is refused.
extern bool ExitConfirmBusy;

// How long the exit confirmation waits for an answer before it counts as No.
inline constexpr std::chrono::milliseconds ExitConfirmTimeOut{180000};

class TfrmExitConfirm : public QDialog {
    Q_OBJECT
  public:
    explicit TfrmExitConfirm(QWidget* parent = nullptr);

    // 0 while no answer was given, 1 OK, 2 Cancel, 3 time-out.
    std::uint8_t ExitResult = 0;

    QLabel* lblConfirm;
    QPushButton* btnOK;
    QPushButton* btnCancel;
    QTimer* tmTimeOut;  // stopped until armed

  protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

  private:
    void Answer(std::uint8_t result);
};

// True when the program may close: true at once with ForcedClose, false at once while a
// confirmation is already open; otherwise shows the confirmation without making it modal and
// processes events until OK (true), Cancel or the time-out (false).
bool ConfirmExit(std::chrono::milliseconds timeOut = ExitConfirmTimeOut);

// The automation server's question when clients still hold objects as the program ends: true
// (Yes) lets it end. No question and true when clientsHoldingObjects is 0.
bool ConfirmCloseWithClients(int clientsHoldingObjects);
// The question's caption and text.
extern const char* const ComServerWarningCaption;
extern const char* const ComServerWarningText;

}  // namespace ov
