// rurctl mail-settings: the stored mail settings as the mail centre loads them, the password
// masked, with the recipients and the subject and text of each alarm kind.

#include <sstream>

#include "cli/command_table.h"
#include "notify/mail_message.h"
#include "notify/standalone_mail.h"

namespace rur::cli {

// Forwards status-bar texts to the run's sink and keeps message boxes for the command to print:
// on a console they are the command's own messages.
class MailCommandUi final : public Ui {
 public:
  explicit MailCommandUi(Ui& next) : next_(next) {}
  void panel(int index, const std::string& text) override { next_.panel(index, text); }
  void messageBox(const std::string& text, const std::string&, MessageKind) override { boxes_.push_back(text); }
  void pump() override { next_.pump(); }
  void Flush(std::ostream& err) {
    for (const auto& text : boxes_) err << text << '\n';
    boxes_.clear();
  }

 private:
  Ui& next_;
  std::vector<std::string> boxes_;
};

// The settings folder of a run: the data directory for simulated runs and --data-dir, else the system's.
std::string MailSettingsDirectory(CliEnvironment& env) {
  return env.options().simulate || !env.options().dataDir.empty() ? env.dataDirectory() : std::string();
}

// Start-up and load, as the program does them; false (with the reason on err) when nothing loaded.
bool LoadStoredMail(StandaloneMail& mail, MailCommandUi& ui, std::ostream& err) {
  mail.center.StartUp();
  if (mail.center.MailRequestFlags.load() & kMailRequestLoad) mail.center.LoadMailSettings();
  ui.Flush(err);
  if (mail.center.SettingsLoaded()) return true;
  if (!mail.center.SettingsKeyExists()) err << "no mail settings are stored in " << mail.store.path() << '\n';
  return false;
}

int RunMailSettings(CommandContext& context) {
  if (!context.args.empty()) {
    context.err << "mail-settings: takes no arguments\n";
    return kExitUsage;
  }
  MailCommandUi ui(context.env.ui());
  StandaloneMail mail(MailSettingsDirectory(context.env), ui, context.env.clock());
  if (!LoadStoredMail(mail, ui, context.err)) return kExitFailed;

  const MailCenter& center = mail.center;
  const auto& settings = center.MailSettings();
  auto& out = context.out;
  const std::string timeOut = settings[kSettingTimeOut];
  out << "settings file  " << mail.store.path() << '\n'
      << "SMTP server    " << settings[kSettingHost] << '\n'
      << "port           " << settings[kSettingPort] << '\n'
      << "sender         " << FormatMailbox(settings[kSettingSenderName], settings[kSettingSenderAddress]) << '\n'
      << "time-out       " << timeOut << " (a delivery waits at most " << DeliveryTimeoutSeconds(timeOut)
      << " s for the connection and " << DeliveryTimeoutSeconds(timeOut) << " s for the transfer)\n";
  const std::string password = settings[kSettingPassword].empty() ? "(empty)" : "********";
  switch (center.AuthState()) {
    case kAuthLogin:
      out << "login          AUTH LOGIN as \"" << settings[kSettingAccount] << "\", password " << password << '\n';
      break;
    case kAuthNone:
      out << "login          off (account \"" << settings[kSettingAccount] << "\", password " << password << ")\n";
      break;
    default:
      out << "login          off: the stored password block does not decode (ErrorFormat); save the settings again\n";
      break;
  }
  out << "text folder    " << center.MailFolder() << '\n';
  out << "recipients     " << center.Recipients().size() << '\n';
  for (std::size_t n = 0; n < center.Recipients().size(); ++n)
    out << "  " << RecipientValueName(n) << "  " << center.Recipients()[n] << '\n';
  for (int kind = 1; kind <= kAlarmKindCount; ++kind) {
    const MailKindTexts& texts = center.MailTexts(kind);
    const bool suppressed = (center.MailSuppressMask >> (kind - 1)) & 1;
    out << "kind " << kind << " " << MailKindCaptions[static_cast<std::size_t>(kind - 1)]
        << (suppressed ? " (no mail)" : "") << ": subject \""
        << (texts.subject.empty() ? std::string() : texts.subject.front()) << "\", " << texts.contents.size()
        << " text line" << (texts.contents.size() == 1 ? "" : "s") << '\n';
  }
  return kExitOk;
}

}  // namespace rur::cli
