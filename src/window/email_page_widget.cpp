// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/email_page_widget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QTableWidget>
#include <tuple>

#include "app/program.h"
#include "notify/mail_center.h"
#include "notify/mail_page_changes.h"
#include "notify/password_block.h"
#include "window/artwork.h"
#include "window/image_button.h"
#include "window/page_artwork.h"
#include "window/qt_text.h"
#include "window/service_mail.h"

namespace rur::ui {
namespace {

using namespace colours;

constexpr int kSubPageTop = 34;
constexpr int kSubPageHeight = 252;
constexpr int kLeftX = 12;
constexpr int kRightX = 218;
constexpr int kColumnWidth = 188;
constexpr int kEditHeight = 22;
constexpr int kGridRowHeight = 18;
// Characters, which the stored settings hold whole up to that many bytes; a longer one in bytes is
// refused when saved.
constexpr int kPasswordLength = static_cast<int>(kPasswordMaxLength);
constexpr int kTimeOutLength = 2;

// The entries of the implicit-TLS box and the stored values they stand for.
constexpr int kImplicitTlsByPort = 0;
constexpr int kImplicitTlsAlways = 1;
constexpr int kImplicitTlsNever = 2;

std::string ImplicitTlsValue(int entry) {
  if (entry == kImplicitTlsAlways) return "1";
  if (entry == kImplicitTlsNever) return "0";
  return {};
}

int ImplicitTlsEntry(const std::string& value) {
  if (value == "1") return kImplicitTlsAlways;
  if (value == "0") return kImplicitTlsNever;
  return kImplicitTlsByPort;
}
constexpr int kOkIgnoreWidth = 86;

QLabel* AddCaption(QWidget* parent, const QString& text, QRect geometry, int pixelSize = 12, bool bold = false) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(geometry);
  label->setFont(WindowFont(pixelSize, bold));
  return label;
}

// A text box's lines as a text file would hold them: an empty box has none, and a last line break
// does not start another line.
std::vector<std::string> TextBoxLines(const QPlainTextEdit* box) { return SplitTextLines(Std(box->toPlainText())); }

QString TextBoxText(const std::vector<std::string>& lines) {
  QStringList shown;
  for (const auto& line : lines) shown << Q(line);
  return shown.join(QLatin1Char('\n'));
}

// The settings a page holds, without where the user stands on it (sub-page, selected row, an
// address typed but not added).
bool SameSettings(const MailPageModel& a, const MailPageModel& b) {
  const auto settings = [](const MailPageModel& m) {
    return std::tie(m.port, m.host, m.senderName, m.senderAddress, m.timeOut, m.password, m.account, m.login,
                    m.allowPlainLogin, m.tempAlarm, m.fanMinRpm, m.recipientEditor);
  };
  if (settings(a) != settings(b)) return false;
  for (std::size_t i = 0; i < a.kinds.size(); ++i) {
    const MailKindPage& x = a.kinds[i];
    const MailKindPage& y = b.kinds[i];
    if (std::tie(x.subject, x.contents, x.suppress) != std::tie(y.subject, y.contents, y.suppress)) return false;
  }
  return true;
}

}  // namespace

EmailPageWidget::EmailPageWidget(PageHost& host) : NotebookPage(QStringLiteral("EmailPage"), host) {
  const std::array<QString, kTabCount> tabNames{
      QStringLiteral("Image3_Setup"),    QStringLiteral("Image3_HDDFail"), QStringLiteral("Image3_DeviceRemove"),
      QStringLiteral("Image3_OverHeat"), QStringLiteral("Image3_FanFail"), QStringLiteral("Image3_DiskHealth")};
  const std::array<QString, kTabCount> tabCaptions{QStringLiteral("Setup"),        QStringLiteral("HDD_Fail"),
                                                   QStringLiteral("DeviceRemove"), QStringLiteral("Over Heat"),
                                                   QStringLiteral("Fan Fail"),     QStringLiteral("Disk Health")};
  // Six tabs share the page's width.
  const std::array<int, kTabCount> tabWidths{48, 64, 90, 66, 56, 76};
  int x = 3;
  for (std::size_t i = 0; i < tabs_.size(); ++i) {
    TabButton& tab = tabs_[i];
    const QRect place(x, 0, tabWidths[i], kTabButtonHeight);
    tab.button = new ImageButton(tabNames[i], this, tabCaptions[i], QStringLiteral("Shows these mail settings"));
    tab.button->setGeometry(place);
    tab.yellow = PictureSource(tabNames[i] + QStringLiteral("_Yellow"),
                               TabButtonPicture(tabCaptions[i], tabWidths[i], ButtonLook::Yellow), this);
    tab.white = PictureSource(tabNames[i] + QStringLiteral("_White"),
                              TabButtonPicture(tabCaptions[i], tabWidths[i], ButtonLook::White), this);
    tab.yellow->move(place.topLeft());
    tab.white->move(place.topLeft());
    tab.button->setPixmap((i == 0 ? tab.yellow : tab.white)->pixmap());
    const int subPage = static_cast<int>(i);
    connect(tab.button, &ImageButton::clicked, this, [this, subPage] { ShowSubPage(subPage); });
    x += tabWidths[i] + 2;
  }

  subPages_ = new QStackedWidget(this);
  subPages_->setObjectName(QStringLiteral("Notebook2"));
  subPages_->setGeometry(0, kSubPageTop, kPageWidth, kSubPageHeight);
  const std::array<QString, kTabCount> pageNames{QStringLiteral("Setup"),        QStringLiteral("HDD_Fail"),
                                                 QStringLiteral("DeviceRemove"), QStringLiteral("OverHeat"),
                                                 QStringLiteral("FanFail"),      QStringLiteral("DiskHealth")};
  std::array<QWidget*, kTabCount> pages{};
  for (std::size_t i = 0; i < pages.size(); ++i) {
    pages[i] = new QWidget(subPages_);
    pages[i]->setObjectName(pageNames[i]);
    subPages_->addWidget(pages[i]);
  }
  BuildSetup(pages[0]);
  kinds_[0] = BuildKindPage(pages[1], 1, QStringLiteral("Hard Disk Fail info. and "));
  kinds_[1] = BuildKindPage(pages[2], 2, QStringLiteral("Device Removed info. and "));
  kinds_[2] = BuildKindPage(pages[3], 3, QStringLiteral("Over Heat info. and "));
  kinds_[3] = BuildKindPage(pages[4], 4, QStringLiteral("Fan Fail info. and "));
  kinds_[4] = BuildKindPage(pages[5], 5, QStringLiteral("Disk Health info. and "));

  const int buttonsY = kSubPageTop + kSubPageHeight + 4;
  okButton_ = new ImageButton(QStringLiteral("Image3_OK"), this, QStringLiteral("OK"),
                              QStringLiteral("Stores the mail settings"));
  okButton_->setGeometry(kPageWidth - 8 - 2 * kOkIgnoreWidth - 8, buttonsY, kOkIgnoreWidth, kActionButtonHeight);
  okButton_->setPixmap(ActionButtonPicture(QStringLiteral("OK"), kOkIgnoreWidth, ActionLook::Primary));
  okButton_->setPressedLook(true);
  ignoreButton_ = new ImageButton(QStringLiteral("Image3_Ignore"), this, QStringLiteral("Ignore"),
                                  QStringLiteral("Puts the stored mail settings back"));
  ignoreButton_->setGeometry(kPageWidth - 8 - kOkIgnoreWidth, buttonsY, kOkIgnoreWidth, kActionButtonHeight);
  ignoreButton_->setPixmap(ActionButtonPicture(QStringLiteral("Ignore"), kOkIgnoreWidth, ActionLook::Secondary));
  ignoreButton_->setPressedLook(true);
  connect(okButton_, &ImageButton::clicked, this, [this] { SaveSettings(); });
  connect(ignoreButton_, &ImageButton::clicked, this, [this] { RevertSettings(); });

  // Names for screen readers: the captions beside the fields.
  const std::array<std::pair<QWidget*, const char*>, 9> setupNames{{{hostEdit_, "E-Mail Host (SMTP)"},
                                                                    {portEdit_, "Port"},
                                                                    {senderNameEdit_, "Name"},
                                                                    {senderAddressEdit_, "E-Mail Address"},
                                                                    {timeOutEdit_, "Time Out (Sec)"},
                                                                    {accountEdit_, "Account"},
                                                                    {passwordEdit_, "Password"},
                                                                    {tempAlarmEdit_, "Over Heat alarm at (C)"},
                                                                    {fanMinRpmEdit_, "Fan Fail alarm below (RPM)"}}};
  for (const auto& [field, name] : setupNames) field->setAccessibleName(QString::fromLatin1(name));
  for (std::size_t i = 0; i < kinds_.size(); ++i) {
    const QString kind = tabCaptions[i + 1];
    KindControls& controls = kinds_[i];
    controls.subject->setAccessibleName(kind + QStringLiteral(" Subject"));
    controls.contents->setAccessibleName(kind + QStringLiteral(" Contents"));
    controls.suppress->setAccessibleDescription(QStringLiteral("No mail is sent for this alarm"));
    if (!controls.grid) continue;
    controls.addAddress->setAccessibleName(QStringLiteral("E-Mail To"));
    controls.addAddress->setAccessibleDescription(QStringLiteral("Enter adds the address to the list"));
    controls.grid->setAccessibleName(QStringLiteral("Recipients"));
    // Enter in the address field adds the address, as the + button does.
    connect(controls.addAddress, &QLineEdit::returnPressed, this, [this] { AddRecipient(); });
  }
  // Tab leaves a contents box instead of typing a tab into it.
  for (KindControls& controls : kinds_) controls.contents->setTabChangesFocus(true);

  // Before the first opening the page shows what a fresh installation would.
  model_.port = kDefaultPort;
  model_.timeOut = kDefaultTimeOut;
  Fill();
}

QLineEdit* EmailPageWidget::AddEdit(QWidget* parent, const QString& name, QRect geometry, std::uint8_t dirtyBit) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setGeometry(geometry);
  if (dirtyBit != 0) {
    connect(edit, &QLineEdit::textChanged, this, [this, dirtyBit] {
      if (filling_) return;
      if (MailCenter* center = mail()) center->EditChanged(dirtyBit);
    });
  }
  return edit;
}

void EmailPageWidget::BuildSetup(QWidget* page) {
  auto row = [](int y) { return QRect(kLeftX, y, kColumnWidth, kEditHeight); };
  AddCaption(page, QStringLiteral("E-Mail Host (SMTP)"), {kLeftX, 0, kColumnWidth, 16});
  hostEdit_ = AddEdit(page, QStringLiteral("Edit2"), row(16), kDirtyHost);
  AddCaption(page, QStringLiteral("Port"), {kLeftX, 44, 60, 16});
  portEdit_ = AddEdit(page, QStringLiteral("Edit1"), {kLeftX, 60, 64, kEditHeight}, kDirtyPort);
  QLabel* hint = AddCaption(page, QStringLiteral("( Default 25 )"), {kLeftX + 72, 63, 110, 16}, 11);
  SetTextColour(hint, kMuted);
  AddCaption(page, QStringLiteral("Name"), {kLeftX, 88, kColumnWidth, 16});
  senderNameEdit_ = AddEdit(page, QStringLiteral("Edit3"), row(104), kDirtySenderName);
  AddCaption(page, QStringLiteral("E-Mail Address"), {kLeftX, 132, kColumnWidth, 16});
  senderAddressEdit_ = AddEdit(page, QStringLiteral("Edit4"), row(148), kDirtySenderAddress);
  AddCaption(page, QStringLiteral("Connect E-mail Host"), {kLeftX, 180, kColumnWidth, 16}, 12, true);
  AddCaption(page, QStringLiteral("Time Out"), {kLeftX, 203, 60, 16});
  timeOutEdit_ = AddEdit(page, QStringLiteral("Edit5"), {kLeftX + 64, 200, 36, kEditHeight}, kDirtyTimeOut);
  timeOutEdit_->setMaxLength(kTimeOutLength);
  AddCaption(page, QStringLiteral("(Sec)"), {kLeftX + 106, 203, 50, 16});

  loginBox_ = new QCheckBox(QStringLiteral("SMTP Login Authentication"), page);
  loginBox_->setObjectName(QStringLiteral("CheckBox8"));
  loginBox_->setGeometry(kRightX, 14, kColumnWidth + 8, 22);
  connect(loginBox_, &QCheckBox::clicked, this, [this] { ApplyLoginBox(); });
  accountCaption_ = AddCaption(page, QStringLiteral("Account:"), {kRightX, 44, kColumnWidth, 16});
  accountCaption_->setObjectName(QStringLiteral("Label19"));
  accountEdit_ = AddEdit(page, QStringLiteral("Edit12"), {kRightX, 60, kColumnWidth, kEditHeight}, kDirtyAccount);
  passwordCaption_ = AddCaption(page, QStringLiteral("Password:"), {kRightX, 88, kColumnWidth, 16});
  passwordCaption_->setObjectName(QStringLiteral("Label20"));
  passwordEdit_ = AddEdit(page, QStringLiteral("Edit8"), {kRightX, 104, kColumnWidth, kEditHeight}, kDirtyPassword);
  passwordEdit_->setEchoMode(QLineEdit::Password);
  passwordEdit_->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));  // "*"
  passwordEdit_->setMaxLength(kPasswordLength);

  plainLoginBox_ = new QCheckBox(QStringLiteral("Allow login without encryption"), page);
  plainLoginBox_->setObjectName(QStringLiteral("AllowPlainLoginBox"));
  plainLoginBox_->setGeometry(kRightX, 134, kColumnWidth + 8, 22);
  plainLoginBox_->setToolTip(
      QStringLiteral("Sends the password in clear to a server that offers no STARTTLS; anyone on the way can read it"));

  // TLS from the first byte (the server's "smtps" port) or STARTTLS after the greeting; the
  // stored value is empty, "1" or "0" in the order of the entries.
  AddCaption(page, QStringLiteral("Implicit TLS:"), {kRightX, 167, 84, 16});
  implicitTlsBox_ = new QComboBox(page);
  implicitTlsBox_->setObjectName(QStringLiteral("ImplicitTlsBox"));
  implicitTlsBox_->setGeometry(kRightX + 86, 164, kColumnWidth - 86, 22);
  implicitTlsBox_->addItems(
      {QStringLiteral("On port 465 only"), QStringLiteral("Always"), QStringLiteral("Never (STARTTLS)")});
  // The way to the server changes as with its port: a test mail waits for OK or Ignore.
  connect(implicitTlsBox_, &QComboBox::currentIndexChanged, this, [this] {
    if (filling_) return;
    if (MailCenter* center = mail()) center->EditChanged(kDirtyPort);
  });
  implicitTlsBox_->setToolTip(
      QStringLiteral("Whether the connection is encrypted from its first byte, as port 465 expects, or "
                     "switches to TLS with STARTTLS"));

  testButton_ = new ImageButton(QStringLiteral("Image3_Test"), page, QStringLiteral("Send Test Mail"),
                                QStringLiteral("Sends a mail to the sender address with the stored settings"));
  testButton_->setGeometry(kRightX + kColumnWidth - 128, 197, 128, kActionButtonHeight);
  testButton_->setPixmap(ActionButtonPicture(QStringLiteral("Send Test Mail"), 128, ActionLook::Secondary));
  testButton_->setToolTip(QStringLiteral("Sends a mail to the sender address with the stored settings"));
  connect(testButton_, &ImageButton::clicked, this, [this] { SendTestMail(); });
}

EmailPageWidget::KindControls EmailPageWidget::BuildKindPage(QWidget* page, int kind, const QString& note) {
  // Object names of the controls of kinds 1 to 5.
  const std::array<const char*, kEditedKindCount> addNames{"Edit7", "Edit6", nullptr, nullptr, nullptr};
  const std::array<const char*, kEditedKindCount> plusNames{"Image3_1P", "Image3_2P", nullptr, nullptr, nullptr};
  const std::array<const char*, kEditedKindCount> minusNames{"Image3_1M", "Image3_2M", nullptr, nullptr, nullptr};
  const std::array<const char*, kEditedKindCount> gridNames{"StringGrid1", "StringGrid2", nullptr, nullptr, nullptr};
  const std::array<const char*, kEditedKindCount> subjectNames{"Edit10", "Edit11", "OverHeatSubjectEdit",
                                                               "FanFailSubjectEdit", "DiskHealthSubjectEdit"};
  const std::array<const char*, kEditedKindCount> contentsNames{"Memo6", "Memo4", "OverHeatContentsMemo",
                                                                "FanFailContentsMemo", "DiskHealthContentsMemo"};
  const std::array<const char*, kEditedKindCount> suppressNames{"CheckBox2", "CheckBox4", "OverHeatSuppressBox",
                                                                "FanFailSuppressBox", "DiskHealthSuppressBox"};
  const auto index = static_cast<std::size_t>(kind - 1);
  auto named = [index](const std::array<const char*, kEditedKindCount>& names) {
    return QString::fromLatin1(names[index]);
  };
  KindControls controls;
  if (kind == kAlarmDiskHealth) {
    BuildDiskHealthNote(page);
  } else if (addNames[index] == nullptr) {
    BuildLimit(page, kind);
  } else {
    BuildRecipientList(page, controls, named(addNames), named(plusNames), named(minusNames), named(gridNames));
  }

  AddCaption(page, QStringLiteral("Subject"), {kRightX, 0, kColumnWidth, 16});
  controls.subject = AddEdit(page, named(subjectNames), {kRightX, 16, kColumnWidth, kEditHeight}, 0);
  AddCaption(page, QStringLiteral("Contents"), {kRightX, 44, kColumnWidth, 16});
  controls.contents = new QPlainTextEdit(page);
  controls.contents->setObjectName(named(contentsNames));
  controls.contents->setGeometry(kRightX, 60, kColumnWidth, 100);
  controls.contents->setFont(WindowFont(12));
  controls.contents->setTabChangesFocus(true);  // a mail text needs no tab stops; Tab goes on to the next field

  int noteY = 166;
  for (const QString& text :
       {QStringLiteral("Auto Add :"), note, QStringLiteral("system info. in front of E-Mail contents.")}) {
    SetTextColour(AddCaption(page, text, {kRightX, noteY, kColumnWidth + 8, 15}, 11), kMuted);
    noteY += 15;
  }

  controls.suppress = new QCheckBox(QStringLiteral("Don't send EMail for this event."), page);
  controls.suppress->setObjectName(named(suppressNames));
  controls.suppress->setGeometry(kLeftX, 230, 2 * kColumnWidth, 20);
  return controls;
}

void EmailPageWidget::BuildRecipientList(QWidget* page, KindControls& controls, const QString& addName,
                                         const QString& plusName, const QString& minusName, const QString& gridName) {
  AddCaption(page, QStringLiteral("E-Mail To"), {kLeftX, 0, kColumnWidth, 16});
  controls.addAddress = AddEdit(page, addName, {kLeftX, 16, kColumnWidth - 52, kEditHeight}, 0);
  controls.add = new ImageButton(plusName, page, QStringLiteral("Add address"));
  controls.add->setGeometry(kLeftX + kColumnWidth - 48, 16, kListButtonSide, kListButtonSide);
  controls.add->setPixmap(ListButtonPicture(ListAction::Add));
  controls.add->setToolTip(QStringLiteral("Add the address to the list"));
  controls.remove = new ImageButton(minusName, page, QStringLiteral("Remove address"));
  controls.remove->setGeometry(kLeftX + kColumnWidth - kListButtonSide, 16, kListButtonSide, kListButtonSide);
  controls.remove->setPixmap(ListButtonPicture(ListAction::Remove));
  controls.remove->setToolTip(QStringLiteral("Remove the selected address from the list"));
  connect(controls.add, &ImageButton::clicked, this, [this] { AddRecipient(); });
  connect(controls.remove, &ImageButton::clicked, this, [this] { RemoveRecipient(); });

  controls.grid = new QTableWidget(static_cast<int>(kMaxRecipients), 1, page);
  controls.grid->setObjectName(gridName);
  controls.grid->setGeometry(kLeftX, 44, kColumnWidth, static_cast<int>(kMaxRecipients) * kGridRowHeight + 2);
  controls.grid->horizontalHeader()->hide();
  controls.grid->verticalHeader()->hide();
  controls.grid->horizontalHeader()->setStretchLastSection(true);
  controls.grid->verticalHeader()->setMinimumSectionSize(kGridRowHeight);
  controls.grid->verticalHeader()->setDefaultSectionSize(kGridRowHeight);
  controls.grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  controls.grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  controls.grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  controls.grid->setTabKeyNavigation(false);  // the arrows pick an address; Tab leaves the list
  controls.grid->setSelectionMode(QAbstractItemView::SingleSelection);
  controls.grid->setFont(WindowFont(12));
  for (int r = 0; r < static_cast<int>(kMaxRecipients); ++r) controls.grid->setItem(r, 0, new QTableWidgetItem);
  connect(controls.grid, &QTableWidget::currentCellChanged, this, [this](int row) { SelectRecipient(row); });
  connect(controls.grid, &QTableWidget::cellClicked, this, [this](int row) { SelectRecipient(row); });
}

void EmailPageWidget::BuildLimit(QWidget* page, int kind) {
  const bool heat = kind == kAlarmOverHeat;
  AddCaption(page, heat ? QStringLiteral("Alarm at") : QStringLiteral("Alarm below"), {kLeftX, 0, kColumnWidth, 16});
  QLineEdit* edit = AddEdit(page, heat ? QStringLiteral("TempAlarmEdit") : QStringLiteral("FanMinRpmEdit"),
                            {kLeftX, 16, 64, kEditHeight}, 0);
  edit->setMaxLength(5);
  AddCaption(page, heat ? QStringLiteral("C") : QStringLiteral("RPM"), {kLeftX + 72, 19, 60, 16});
  const QString hint = heat ? QStringLiteral("on two refreshes in a row; clear 5 C below.")
                            : QStringLiteral("or a stopped fan, on two refreshes in a row.");
  SetTextColour(AddCaption(page, hint, {kLeftX, 44, kColumnWidth, 15}, 11), kMuted);
  (heat ? tempAlarmEdit_ : fanMinRpmEdit_) = edit;
}

void EmailPageWidget::BuildDiskHealthNote(QWidget* page) {
  AddCaption(page, QStringLiteral("Mailed when"), {kLeftX, 0, kColumnWidth, 16});
  int y = 18;
  for (const QString& text :
       {QStringLiteral("a member's SMART verdict worsens,"), QStringLiteral("its reallocated, pending or"),
        QStringLiteral("uncorrectable sectors grow, a"), QStringLiteral("rebuild reads from a disk that is"),
        QStringLiteral("not healthy, or a disk is replaced."), QStringLiteral("Each change once.")}) {
    SetTextColour(AddCaption(page, text, {kLeftX, y, kColumnWidth + 4, 15}, 11), kMuted);
    y += 15;
  }
}

MailCenter* EmailPageWidget::mail() { return host_.program() ? &host_.program()->mail() : nullptr; }

bool EmailPageWidget::Served() const { return host_.program() && host_.program()->relayed(); }

void EmailPageWidget::TellServiceError(const std::string& error) {
  if (host_.dialogs().messageBox)
    host_.dialogs().messageBox(window(), Q(error), Q(std::string(kMailCaption)), MessageKind::Error);
}

void EmailPageWidget::LoadFromService() {
  std::string error;
  if (!LoadServiceMailPage(model_, error)) TellServiceError(error);
  model_.password.clear();
  Fill();
  stored_ = model_;
  // The subjects and texts stay in the service's mail folder, which only it may change.
  for (const KindControls& controls : kinds_) {
    for (QWidget* text : std::initializer_list<QWidget*>{controls.subject, controls.contents}) {
      text->setEnabled(false);
      text->setToolTip(QStringLiteral("Kept by rode-rurd in its mail folder"));
    }
  }
}

void EmailPageWidget::ReloadServiceRecipients() {
  MailPageModel fresh;
  std::string error;
  if (LoadServiceMailPage(fresh, error)) {
    model_.recipientEditor = fresh.recipientEditor;
    stored_.recipientEditor = fresh.recipientEditor;
  }
}

MailKindPage* EmailPageWidget::ShownKind() {
  const int kind = model_.subPage - 1;
  return kind >= 0 && kind < static_cast<int>(model_.kinds.size()) ? &model_.kinds[static_cast<std::size_t>(kind)]
                                                                   : nullptr;
}

void EmailPageWidget::ChangeServiceRecipient(bool add) {
  Collect();
  MailKindPage* kind = ShownKind();
  if (kind == nullptr) return;
  const int row = kind->selectedRow;
  const std::string address =
      add ? kind->addAddress
          : (row >= 0 && row < static_cast<int>(model_.recipientEditor.size()) ? model_.recipientEditor[row] : "");
  if (address.empty()) return;
  std::string error;
  if (add ? AddServiceRecipient(address, error) : RemoveServiceRecipient(address, error)) {
    if (add) kind->addAddress.clear();
    ReloadServiceRecipients();
  } else {
    TellServiceError(error);
  }
  Fill();
}

void EmailPageWidget::PageOpened() {
  if (Served()) {
    Collect();
    LoadFromService();
    return;
  }
  MailCenter* center = mail();
  if (!center) return;
  Collect();
  center->ShowMailPage(model_);
  Fill();
  stored_ = model_;
}

void EmailPageWidget::ShowSubPage(int subPage) {
  if (Served()) {
    Collect();
    model_.subPage = subPage;
    Fill();
    return;
  }
  MailCenter* center = mail();
  if (!center) return;
  Collect();
  center->ShowSubPage(model_, subPage);
  Fill();
}

void EmailPageWidget::AddRecipient() {
  if (Served()) return ChangeServiceRecipient(true);
  MailCenter* center = mail();
  if (!center) return;
  Collect();
  center->AddRecipient(model_);
  Fill();
}

void EmailPageWidget::RemoveRecipient() {
  if (Served()) return ChangeServiceRecipient(false);
  MailCenter* center = mail();
  if (!center) return;
  Collect();
  center->RemoveRecipient(model_);
  Fill();
}

void EmailPageWidget::SelectRecipient(int row) {
  MailCenter* center = mail();
  if (filling_ || !center) return;
  if (Served()) {
    Collect();
    if (MailKindPage* kind = ShownKind()) kind->selectedRow = row;
    Fill();
    return;
  }
  Collect();
  center->SelectRecipient(model_, row);
  Fill();
}

void EmailPageWidget::ApplyLoginBox() { ShowLoginFields(loginBox_->isChecked()); }

bool EmailPageWidget::SaveSettings() {
  if (Served()) {
    Collect();
    std::string error;
    if (!SaveServiceMailPage(stored_, model_, error)) {
      TellServiceError(error);
      return false;
    }
    LoadFromService();
    host_.SetPanel(4, QStringLiteral("E-mail settings saved by rode-rurd"));
    return true;
  }
  MailCenter* center = mail();
  if (!center) return false;
  Collect();
  const bool saved = center->SaveMailSettings(model_);
  Fill();
  if (saved) {
    stored_ = model_;
    host_.SetPanel(4, QStringLiteral("E-mail settings saved"));
  }
  return saved;
}

bool EmailPageWidget::HasUnsavedEdits() {
  if (!mail()) return false;
  Collect();
  if (Served()) return !MailPageChanges(stored_, model_).empty() || !model_.password.empty();
  return !SameSettings(model_, stored_);
}

bool EmailPageWidget::MayLeave() {
  if (!HasUnsavedEdits() || !host_.dialogs().askLeave) return true;
  switch (host_.dialogs().askLeave(window(), QStringLiteral("The E-mail settings were changed. Save them?"),
                                   QStringLiteral("E-Mail Message"))) {
    case LeaveChoice::Save: return SaveSettings();
    case LeaveChoice::Discard: RevertSettings(); return true;
    case LeaveChoice::Cancel: break;
  }
  return false;
}

void EmailPageWidget::RevertSettings() {
  if (Served()) {
    LoadFromService();
    return;
  }
  MailCenter* center = mail();
  if (!center) return;
  Collect();
  center->RevertMailSettings(model_);
  Fill();
  stored_ = model_;
}

void EmailPageWidget::SendTestMail() {
  if (!Served()) {
    if (MailCenter* center = mail()) center->SendTestMail();
    return;
  }
  // The service sends with what it stored: edits not stored yet would not be in the test.
  if (HasUnsavedEdits()) {
    if (host_.dialogs().messageBox)
      host_.dialogs().messageBox(window(), Q(std::string(kSettingsChangedText)), Q(std::string(kMailCaption)),
                                 MessageKind::Plain);
    return;
  }
  std::string error;
  if (!SendServiceTestMail(error)) return TellServiceError(error);
  if (host_.dialogs().messageBox)
    host_.dialogs().messageBox(window(), Q(std::string(kSendSuccessText)), Q(std::string(kMailCaption)),
                               MessageKind::Plain);
}

void EmailPageWidget::ShowLoginFields(bool shown) {
  for (QWidget* field : std::initializer_list<QWidget*>{accountCaption_, accountEdit_, passwordCaption_, passwordEdit_})
    field->setHidden(!shown);
}

void EmailPageWidget::Collect() {
  model_.port = Std(portEdit_->text());
  model_.host = Std(hostEdit_->text());
  model_.senderName = Std(senderNameEdit_->text());
  model_.senderAddress = Std(senderAddressEdit_->text());
  model_.timeOut = Std(timeOutEdit_->text());
  model_.password = Std(passwordEdit_->text());
  model_.account = Std(accountEdit_->text());
  model_.login = loginBox_->isChecked();
  model_.allowPlainLogin = plainLoginBox_->isChecked();
  model_.implicitTls = ImplicitTlsValue(implicitTlsBox_->currentIndex());
  model_.tempAlarm = Std(tempAlarmEdit_->text());
  model_.fanMinRpm = Std(fanMinRpmEdit_->text());
  for (std::size_t i = 0; i < kinds_.size(); ++i) {
    const KindControls& controls = kinds_[i];
    MailKindPage& kind = model_.kinds[i];
    if (controls.grid) {
      kind.addAddress = Std(controls.addAddress->text());
      kind.selectedRow = controls.grid->currentRow();
    }
    kind.subject = Std(controls.subject->text());
    kind.contents = TextBoxLines(controls.contents);
    kind.suppress = controls.suppress->isChecked();
  }
}

void EmailPageWidget::Fill() {
  // Filling is not editing: no change event may mark the settings as changed.
  filling_ = true;
  auto set = [](QLineEdit* edit, const std::string& text) {
    if (edit->text() != Q(text)) edit->setText(Q(text));
  };
  set(portEdit_, model_.port);
  set(hostEdit_, model_.host);
  set(senderNameEdit_, model_.senderName);
  set(senderAddressEdit_, model_.senderAddress);
  set(timeOutEdit_, model_.timeOut);
  set(passwordEdit_, model_.password);
  set(accountEdit_, model_.account);
  loginBox_->setChecked(model_.login);
  ShowLoginFields(model_.login);
  plainLoginBox_->setChecked(model_.allowPlainLogin);
  implicitTlsBox_->setCurrentIndex(ImplicitTlsEntry(model_.implicitTls));
  set(tempAlarmEdit_, model_.tempAlarm);
  set(fanMinRpmEdit_, model_.fanMinRpm);

  const auto rows = model_.GridRows();
  for (std::size_t i = 0; i < kinds_.size(); ++i) {
    const KindControls& controls = kinds_[i];
    const MailKindPage& kind = model_.kinds[i];
    set(controls.subject, kind.subject);
    const QString contents = TextBoxText(kind.contents);
    if (controls.contents->toPlainText() != contents) controls.contents->setPlainText(contents);
    controls.suppress->setChecked(kind.suppress);
    if (!controls.grid) continue;
    set(controls.addAddress, kind.addAddress);
    for (std::size_t r = 0; r < rows.size(); ++r) controls.grid->item(static_cast<int>(r), 0)->setText(Q(rows[r]));
    if (kind.selectedRow >= 0 && kind.selectedRow < static_cast<int>(rows.size()))
      controls.grid->setCurrentCell(kind.selectedRow, 0);
  }

  subPages_->setCurrentIndex(model_.subPage);
  for (std::size_t i = 0; i < tabs_.size(); ++i)
    tabs_[i].button->setPixmap((static_cast<int>(i) == model_.subPage ? tabs_[i].yellow : tabs_[i].white)->pixmap());
  filling_ = false;
}

}  // namespace rur::ui
