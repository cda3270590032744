// SPDX-License-Identifier: GPL-3.0-or-later
// The E-mail page on a fresh data folder: defaults, what OK stores, the recipient list rules, the
// test button's refusals, and a test mail that reaches a real SMTP server on 127.0.0.1.

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QTableWidget>
#include <QtTest>
#include <fstream>
#include <sstream>

#include "../notify/smtp_sink.h"
#include "gui_fixture.h"
#include "gui_test_registry.h"
#include "notify/mail_center.h"
#include "notify/password_block.h"
#include "notify/reg_file_store.h"

namespace rur::ui::test {
namespace {

const QString kMailCaption = QStringLiteral("E-Mail Message");

void Type(GuiRun& run, const char* edit, const QString& text) {
  auto* line = run.find<QLineEdit>(edit);
  line->clear();
  QTest::keyClicks(line, text);
}

void Click(GuiRun& run, const char* name) { QTest::mouseClick(run.find<QWidget>(name), Qt::LeftButton); }

QStringList GridRows(GuiRun& run, const char* grid) {
  auto* table = run.find<QTableWidget>(grid);
  QStringList rows;
  for (int r = 0; r < table->rowCount(); ++r) rows << table->item(r, 0)->text();
  return rows;
}

bool LoginFieldsHidden(GuiRun& run) {
  for (const char* name : {"Label19", "Edit12", "Label20", "Edit8"})
    if (!run.find<QWidget>(name)->isHidden()) return false;
  return true;
}

std::string ReadText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// Opens the E-mail page of a detected demo run.
void OpenEmailPage(GuiRun& run) {
  QVERIFY(run.detect());
  Click(run, "Image_Email");
  QCOMPARE(run.find<QStackedWidget>("Notebook1")->currentWidget()->objectName(), QStringLiteral("EmailPage"));
}

}  // namespace

class EmailPageTest : public QObject {
  Q_OBJECT

 private slots:
  void freshFolderThenOkStoresEveryValue() {
    GuiRun run("demo");
    OpenEmailPage(run);
    MailCenter& mail = run.program.mail();
    QCOMPARE(run.find<QLineEdit>("Edit1")->text(), QStringLiteral("25"));
    QCOMPARE(run.find<QLineEdit>("Edit5")->text(), QStringLiteral("0"));
    QVERIFY(!run.find<QCheckBox>("CheckBox8")->isChecked());
    QVERIFY(LoginFieldsHidden(run));
    QCOMPARE(mail.SettingsDirty(), 0);

    // Each edit's change marks its own bit.
    const struct {
      const char* edit;
      QString text;
      std::uint8_t bit;
    } edits[] = {
        {"Edit1", QStringLiteral("2525"), kDirtyPort},
        {"Edit2", QStringLiteral("mail.example.org"), kDirtyHost},
        {"Edit3", QStringLiteral("Ops Desk"), kDirtySenderName},
        {"Edit4", QStringLiteral("ops@example.org"), kDirtySenderAddress},
        {"Edit5", QStringLiteral("12"), kDirtyTimeOut},
        {"Edit12", QStringLiteral("opsuser"), kDirtyAccount},
        {"Edit8", QStringLiteral("s3cret"), kDirtyPassword},
    };
    Click(run, "CheckBox8");
    QVERIFY(!LoginFieldsHidden(run));
    QCOMPARE(mail.SettingsDirty(), 0);  // the box alone is compared at saving
    std::uint8_t expected = 0;
    for (const auto& e : edits) {
      Type(run, e.edit, e.text);
      expected |= e.bit;
      QCOMPARE(mail.SettingsDirty(), expected);
    }

    Click(run, "Image3_HDDFail");
    QCOMPARE(run.find<QStackedWidget>("Notebook2")->currentIndex(), 1);
    Type(run, "Edit7", QStringLiteral("admin@example.org"));
    Click(run, "Image3_1P");
    Type(run, "Edit10", QStringLiteral("Disk alarm"));
    auto* memo = run.find<QPlainTextEdit>("Memo6");
    QTest::keyClicks(memo, QStringLiteral("Line one"));
    QTest::keyClick(memo, Qt::Key_Return);
    QTest::keyClicks(memo, QStringLiteral("Line two"));
    Click(run, "Image3_DeviceRemove");
    Click(run, "CheckBox4");
    QCOMPARE(GridRows(run, "StringGrid2").front(), QStringLiteral("admin@example.org"));
    // The sensor alarms' sub-pages: their limits, subject and suppress box.
    Click(run, "Image3_OverHeat");
    QCOMPARE(run.find<QStackedWidget>("Notebook2")->currentWidget()->objectName(), QStringLiteral("OverHeat"));
    QCOMPARE(run.find<QLineEdit>("TempAlarmEdit")->text(), QStringLiteral("55"));
    Type(run, "TempAlarmEdit", QStringLiteral("60"));
    Type(run, "OverHeatSubjectEdit", QStringLiteral("Too hot"));
    Click(run, "Image3_FanFail");
    Type(run, "FanMinRpmEdit", QStringLiteral("900"));
    Click(run, "FanFailSuppressBox");
    Click(run, "Image3_DiskHealth");
    QCOMPARE(run.find<QStackedWidget>("Notebook2")->currentWidget()->objectName(), QStringLiteral("DiskHealth"));
    Type(run, "DiskHealthSubjectEdit", QStringLiteral("Disk wearing out"));
    Click(run, "DiskHealthSuppressBox");

    Click(run, "Image3_OK");
    QVERIFY(run.messages.empty());
    RegFileSettingsStore stored(run.program.settingsPath());
    const std::pair<const char*, const char*> strings[] = {
        {"Port", "2525"},  {"SMTP", "mail.example.org"}, {"UserName", "Ops Desk"},          {"Addr", "ops@example.org"},
        {"TimeOut", "12"}, {"UserID", "opsuser"},        {"ToAddr_00", "admin@example.org"}};
    for (const auto& [name, value] : strings) {
      std::string text;
      QVERIFY2(stored.ReadString(name, text).ok(), name);
      QCOMPARE(text, std::string(value));
    }
    std::uint32_t count = 0, suppress = 0;
    QVERIFY(stored.ReadInteger("ToAddrCount", count).ok());
    QCOMPARE(count, 1u);
    QVERIFY(stored.ReadInteger("EMailSend", suppress).ok());
    QCOMPARE(suppress, 0x1Au);
    std::uint32_t tempAlarm = 0, fanMin = 0;
    QVERIFY(stored.ReadInteger("TempAlarm", tempAlarm).ok());
    QCOMPARE(tempAlarm, 60u);
    QVERIFY(stored.ReadInteger("FanMinRPM", fanMin).ok());
    QCOMPARE(fanMin, 900u);
    std::vector<std::uint8_t> bytes;
    QVERIFY(stored.ReadBinary("ProductID", bytes).ok());
    const PasswordBlock block(bytes.begin(), bytes.end());
    QCOMPARE(bytes.size(), kPasswordBlockSize);
    const DecodedPassword decoded = DecodePasswordBlock(block);
    QCOMPARE(decoded.password, std::string("s3cret"));
    QCOMPARE(decoded.authState, kAuthLogin);
    std::string folder;
    QVERIFY(stored.ReadString("FilePath", folder).ok());
    QCOMPARE(folder, mail.MailFolder());
    QCOMPARE(ReadText(PathInFolder(folder, SubjectFileName(1))), std::string("Disk alarm\r\n"));
    QCOMPARE(ReadText(PathInFolder(folder, ContentsFileName(1))), std::string("Line one\r\nLine two\r\n"));
    QCOMPARE(ReadText(PathInFolder(folder, SubjectFileName(3))), std::string("Too hot\r\n"));
    QCOMPARE(ReadText(PathInFolder(folder, "EmailSubject Disk Health.txt")), std::string("Disk wearing out\r\n"));

    // The mail thread loads what was stored; opening the page again shows it without marking it changed.
    run.run(500);
    QVERIFY(mail.SettingsLoaded());
    Click(run, "Image_Sts");
    Click(run, "Image_Email");
    QCOMPARE(mail.SettingsDirty(), 0);
    QCOMPARE(run.find<QLineEdit>("Edit1")->text(), QStringLiteral("2525"));
    QCOMPARE(run.find<QLineEdit>("Edit8")->text(), QStringLiteral("s3cret"));
    QVERIFY(run.find<QCheckBox>("CheckBox8")->isChecked());
    QVERIFY(!LoginFieldsHidden(run));
    QVERIFY(run.find<QCheckBox>("CheckBox4")->isChecked());

    // Ignore puts the stored value back, and putting it back is no edit.
    Type(run, "Edit1", QStringLiteral("9999"));
    QCOMPARE(mail.SettingsDirty(), kDirtyPort);
    Click(run, "Image3_Ignore");
    QCOMPARE(run.find<QLineEdit>("Edit1")->text(), QStringLiteral("2525"));
    QCOMPARE(mail.SettingsDirty(), 0);
  }

  // Leaving the page with edits asks Save / Discard / Cancel; OK says in the status bar that it saved.
  void leavingWithUnsavedEditsAsks() {
    GuiRun run("demo");
    OpenEmailPage(run);
    Click(run, "Image_About");  // nothing edited: no question
    QCOMPARE(run.engine().currentPage(), 4);
    QVERIFY(run.messages.empty());

    Click(run, "Image_Email");
    Type(run, "Edit2", QStringLiteral("mail.example.org"));
    Click(run, "Image_Sts");  // no answer given: Cancel, the page and the edit stay
    QCOMPARE(run.messages.size(), std::size_t{1});
    QCOMPARE(run.messages[0].caption, kMailCaption);
    QCOMPARE(run.engine().currentPage(), 3);
    QCOMPARE(run.find<QLineEdit>("Edit2")->text(), QStringLiteral("mail.example.org"));

    run.leaveAnswers.push_back(LeaveChoice::Discard);
    Click(run, "Image_Sts");
    QCOMPARE(run.engine().currentPage(), 0);
    Click(run, "Image_Email");
    QCOMPARE(run.find<QLineEdit>("Edit2")->text(), QString());

    Type(run, "Edit2", QStringLiteral("smtp.example.org"));
    run.leaveAnswers.push_back(LeaveChoice::Save);
    Click(run, "Image_SMART");
    QCOMPARE(run.engine().currentPage(), 5);
    QCOMPARE(run.panel(4), QStringLiteral("E-mail settings saved"));
    std::string host;
    QVERIFY(RegFileSettingsStore(run.program.settingsPath()).ReadString("SMTP", host).ok());
    QCOMPARE(host, std::string("smtp.example.org"));
    QCOMPARE(run.messages.size(), std::size_t{3});  // a question each time, and no other box

    // Closing the window asks too; Cancel keeps it open.
    Click(run, "Image_Email");
    Type(run, "Edit2", QStringLiteral("other.example.org"));
    QVERIFY(!run.window.close());
    QCOMPARE(run.messages.size(), std::size_t{4});
  }

  void recipientListRules() {
    GuiRun run("demo");
    OpenEmailPage(run);
    Click(run, "Image3_HDDFail");

    // A text without "@" is refused with a message and cleared; so is "@" alone, with its reason.
    Type(run, "Edit7", QStringLiteral("nobody"));
    Click(run, "Image3_1P");
    QCOMPARE(run.messages.size(), std::size_t{1});
    QCOMPARE(run.messages[0].text, QStringLiteral("E-Mail Address formula error!"));
    QCOMPARE(run.messages[0].caption, kMailCaption);
    QVERIFY(run.find<QLineEdit>("Edit7")->text().isEmpty());
    QCOMPARE(GridRows(run, "StringGrid1").front(), QString());
    Type(run, "Edit7", QStringLiteral("@"));
    Click(run, "Image3_1P");
    QCOMPARE(run.messages.back().text,
             QStringLiteral("The address \"@\" cannot be used: it has nothing before the @."));
    Type(run, "Edit7", QStringLiteral("first@example.org"));
    Click(run, "Image3_1P");
    for (int n = 1; n < 10; ++n) {
      Type(run, "Edit7", QStringLiteral("user%1@example.org").arg(n));
      Click(run, "Image3_1P");
    }
    // The eleventh is not taken.
    Type(run, "Edit7", QStringLiteral("eleventh@example.org"));
    Click(run, "Image3_1P");
    QStringList full{QStringLiteral("first@example.org")};
    for (int n = 1; n < 10; ++n) full << QStringLiteral("user%1@example.org").arg(n);
    QCOMPARE(GridRows(run, "StringGrid1"), full);
    QCOMPARE(GridRows(run, "StringGrid2"), full);
    QCOMPARE(run.messages.size(), std::size_t{2});

    // Removing from the other sub-page: the picked row's address shows, then goes.
    Click(run, "Image3_DeviceRemove");
    auto* grid = run.find<QTableWidget>("StringGrid2");
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualItemRect(grid->item(2, 0)).center());
    QCOMPARE(run.find<QLineEdit>("Edit6")->text(), QStringLiteral("user2@example.org"));
    Click(run, "Image3_2M");
    full.removeAt(2);
    full << QString();
    QCOMPARE(GridRows(run, "StringGrid1"), full);
    QVERIFY(run.find<QLineEdit>("Edit6")->text().isEmpty());
  }

  void testButtonRefusesUnsavedOrUnloadedSettings() {
    GuiRun run("demo");
    OpenEmailPage(run);
    Click(run, "Image3_Test");
    Type(run, "Edit2", QStringLiteral("mail.example.org"));
    Click(run, "Image3_Test");
    Click(run, "Image3_Ignore");
    QCOMPARE(run.find<QLineEdit>("Edit2")->text(), QString());
    Click(run, "Image3_Test");
    const QStringList expected{
        QStringLiteral("E-Mail setting isn't ready!"),
        QStringLiteral("E-Mail setting was changed, please click \"OK\" or \"Ignore\" button first!"),
        QStringLiteral("E-Mail setting isn't ready!")};
    QCOMPARE(run.messages.size(), std::size_t{3});
    for (int i = 0; i < expected.size(); ++i) {
      QCOMPARE(run.messages[static_cast<std::size_t>(i)].text, expected[i]);
      QCOMPARE(run.messages[static_cast<std::size_t>(i)].caption, kMailCaption);
    }
  }

  void testMailArrivesWithTheLoginOfThePage() {
    if (!mailtest::SmtpSink::Available()) QSKIP("/usr/bin/python3 cannot import aiosmtpd");
    mailtest::SmtpSink sink(mailtest::SmtpSink::Mode::Auth);
    QVERIFY(sink.port() != 0);
    GuiRun run("demo");
    OpenEmailPage(run);
    Type(run, "Edit1", QString::number(sink.port()));
    Type(run, "Edit2", QStringLiteral("127.0.0.1"));
    Type(run, "Edit3", QStringLiteral("Ops Desk"));
    Type(run, "Edit4", QStringLiteral("ops@example.org"));
    Click(run, "CheckBox8");
    Type(run, "Edit12", QStringLiteral("opsuser"));
    // A password longer than the old 15-character field, and STARTTLS chosen over the port's default.
    Type(run, "Edit8", QStringLiteral("correct-horse-22-bytes"));
    run.find<QComboBox>("ImplicitTlsBox")->setCurrentIndex(2);
    Click(run, "Image3_OK");
    run.run(500);
    QVERIFY(run.program.mail().SettingsLoaded());
    QCOMPARE(run.program.mail().ImplicitTls(), std::string("0"));

    // The server offers no STARTTLS: the password stays here until the user allows it.
    Click(run, "Image3_Test");
    QVERIFY(!run.messages.empty());
    QCOMPARE(run.messages.back().text,
             QStringLiteral("the server offers no encryption; the password would be sent in clear"));
    QVERIFY(sink.Logins().empty());
    Click(run, "AllowPlainLoginBox");
    Click(run, "Image3_OK");
    run.run(500);
    Click(run, "Image3_Test");
    QCOMPARE(run.messages.back().text, QStringLiteral("Send mail Success!"));
    QCOMPARE(run.messages.back().caption, kMailCaption);
    const auto mails = sink.Mails();
    QCOMPARE(mails.size(), std::size_t{1});
    QCOMPARE(mails[0].recipients, std::vector<std::string>{"ops@example.org"});
    QCOMPARE(mails[0].Header("Subject"), std::string("[RODE RUR v0.50.11-3 Message] Mail Teat "));
    QCOMPARE(mails[0].BodyLines().front(), std::string("[RODE RUR v0.50.11-3] E-Mail test!"));
    const auto logins = sink.Logins();
    QCOMPARE(logins.size(), std::size_t{1});
    QCOMPARE(logins[0].mechanism, std::string("PLAIN"));
    QCOMPARE(logins[0].login, std::string("opsuser"));
    QCOMPARE(logins[0].password, std::string("correct-horse-22-bytes"));
  }
};

RUR_GUI_TEST(EmailPageTest);

}  // namespace rur::ui::test

#include "email_page_test.moc"
