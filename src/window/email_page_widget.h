// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The E-mail page (page 3): the mail settings on six sub-pages. "Setup" holds the server, the
// sender, the login and the test button; "HDD_Fail" and "DeviceRemove" hold the recipient list
// (one list, shown on both) and the subject and text of their alarm; "Over Heat" and "Fan Fail"
// hold their sensor limit and the subject and text of their alarm; "Disk Health" says when its
// alarm comes and holds its subject and text. The mail centre owns the
// rules; the page copies its controls into the page model before each action and shows the model
// afterwards.

#include <array>

#include "notify/mail_page_model.h"
#include "window/notebook_page.h"

class QCheckBox;
class QComboBox;
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

  // A tab: kMailSubPageSetup .. kMailSubPageDiskHealth.
  void ShowSubPage(int subPage);
  // The + and - buttons beside the recipient list, and a click on one of its rows.
  void AddRecipient();
  void RemoveRecipient();
  void SelectRecipient(int row);
  // The login box shows or hides the account and password fields.
  void ApplyLoginBox();
  // "OK" stores the settings (true when they were), "Ignore" puts the stored ones back.
  bool SaveSettings();
  void RevertSettings();
  void SendTestMail();
  // The page holds edits that were neither stored nor put back.
  bool HasUnsavedEdits();
  // The user leaves the page: with unsaved edits, asks whether to save them; false to stay.
  bool MayLeave();

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
  // Where rode-rurd serves the host, the page shows and changes the service's settings.
  bool Served() const;
  void LoadFromService();
  void ReloadServiceRecipients();
  void ChangeServiceRecipient(bool add);
  void TellServiceError(const std::string& error);
  // The alarm kind of the sub-page shown; null on the Setup page.
  MailKindPage* ShownKind();
  void BuildSetup(QWidget* page);
  KindControls BuildKindPage(QWidget* page, int kind, const QString& note);
  void BuildRecipientList(QWidget* page, KindControls& controls, const QString& addName, const QString& plusName,
                          const QString& minusName, const QString& gridName);
  // The sensor limit of kind 3 or 4.
  void BuildLimit(QWidget* page, int kind);
  // What raises the disk-health alarm.
  void BuildDiskHealthNote(QWidget* page);
  QLineEdit* AddEdit(QWidget* parent, const QString& name, QRect geometry, std::uint8_t dirtyBit);
  void ShowLoginFields(bool shown);
  // Controls into the model, and the model back into the controls without raising change events.
  void Collect();
  void Fill();

  MailPageModel model_;
  MailPageModel stored_;  // the settings as last filled from or stored to the mail centre
  bool filling_ = false;

  static constexpr std::size_t kTabCount = 6;
  std::array<TabButton, kTabCount> tabs_{};
  QStackedWidget* subPages_ = nullptr;      // Notebook2
  QLineEdit* portEdit_ = nullptr;           // Edit1
  QLineEdit* hostEdit_ = nullptr;           // Edit2
  QLineEdit* senderNameEdit_ = nullptr;     // Edit3
  QLineEdit* senderAddressEdit_ = nullptr;  // Edit4
  QLineEdit* timeOutEdit_ = nullptr;        // Edit5
  QLineEdit* passwordEdit_ = nullptr;       // Edit8
  QLineEdit* accountEdit_ = nullptr;        // Edit12
  QCheckBox* loginBox_ = nullptr;           // CheckBox8
  QCheckBox* plainLoginBox_ = nullptr;      // the login may go without TLS
  QComboBox* implicitTlsBox_ = nullptr;     // TLS from the first byte: by port, always, never
  QLineEdit* tempAlarmEdit_ = nullptr;      // Over Heat: the limit in degrees C
  QLineEdit* fanMinRpmEdit_ = nullptr;      // Fan Fail: the lowest speed that counts as running
  QLabel* accountCaption_ = nullptr;        // Label19
  QLabel* passwordCaption_ = nullptr;       // Label20
  ImageButton* testButton_ = nullptr;       // Image3_Test
  // HDD_Fail (Edit7, Image3_1P/1M, StringGrid1, Edit10, Memo6, CheckBox2), DeviceRemove
  // (Edit6, Image3_2P/2M, StringGrid2, Edit11, Memo4, CheckBox4), Over Heat, Fan Fail and Disk
  // Health (subject, contents and suppress box only; no recipient controls).
  std::array<KindControls, kEditedKindCount> kinds_{};
  ImageButton* okButton_ = nullptr;      // Image3_OK
  ImageButton* ignoreButton_ = nullptr;  // Image3_Ignore
};

}  // namespace rur::ui
