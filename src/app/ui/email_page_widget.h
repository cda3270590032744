#pragma once
// The E-mail page (page 3): the mail settings on three sub-pages. "Setup" holds the server, the
// sender, the login and the test button; "HDD_Fail" and "DeviceRemove" hold the recipient list
// (one list, shown on both) and the subject and text of their alarm. The mail centre owns the
// rules; the page copies its controls into the page model before each action and shows the model
// afterwards.

#include <array>

#include "app/ui/notebook_page.h"
#include "notify/mail_page_model.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QStackedWidget;
class QTableWidget;

namespace rur {
class MailCenter;
}

namespace rur::ui {

class ImageButton;

class EmailPageWidget : public NotebookPage {
  Q_OBJECT

 public:
  explicit EmailPageWidget(PageHost& host);
  // Opening the page fills it from the loaded settings.
  void PageOpened() override;

  void Image3_SetupClick() { ShowSubPage(kMailSubPageSetup); }
  void Image3_HDDFailClick() { ShowSubPage(kMailSubPageHddFail); }
  void Image3_DeviceRemoveClick() { ShowSubPage(kMailSubPageDeviceRemove); }
  void Image3_1PClick();
  void Image3_1MClick();
  void StringGridSelectCell(int row);
  void CheckBox8Click();
  void Image3_OKClick();
  void Image3_IgnoreClick();
  void Image3_TestClick();

 private:
  // The controls of one alarm kind's sub-page.
  struct KindControls {
    QLineEdit* addAddress = nullptr;
    ImageButton* add = nullptr;
    ImageButton* remove = nullptr;
    QTableWidget* grid = nullptr;
    QLineEdit* subject = nullptr;
    QPlainTextEdit* contents = nullptr;
    QCheckBox* suppress = nullptr;
  };
  struct TabButton {
    ImageButton* button = nullptr;
    QLabel* yellow = nullptr;
    QLabel* white = nullptr;
  };

  MailCenter* mail();
  void BuildSetup(QWidget* page);
  KindControls BuildKindPage(QWidget* page, int kind, const QString& note);
  QLineEdit* AddEdit(QWidget* parent, const QString& name, QRect geometry, std::uint8_t dirtyBit);
  void ShowSubPage(int subPage);
  void ShowLoginFields(bool shown);
  // Controls into the model, and the model back into the controls without raising change events.
  void Collect();
  void Fill();

  MailPageModel model_;
  bool filling_ = false;

  std::array<TabButton, 3> tabs_{};
  QStackedWidget* Notebook2 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QLineEdit* Edit2 = nullptr;
  QLineEdit* Edit3 = nullptr;
  QLineEdit* Edit4 = nullptr;
  QLineEdit* Edit5 = nullptr;
  QLineEdit* Edit8 = nullptr;
  QLineEdit* Edit12 = nullptr;
  QCheckBox* CheckBox8 = nullptr;
  QLabel* Label19 = nullptr;
  QLabel* Label20 = nullptr;
  ImageButton* Image3_Test = nullptr;
  std::array<KindControls, kEditedKindCount> kinds_{};
  ImageButton* Image3_OK = nullptr;
  ImageButton* Image3_Ignore = nullptr;
};

}  // namespace rur::ui
