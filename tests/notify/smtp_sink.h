// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A real SMTP server for the mail tests: smtp_sink.py on /usr/bin/python3 with aiosmtpd, on
// 127.0.0.1 at a free port, started for one test and stopped with it. What it received is read
// back from its folder.

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

namespace rur::mailtest {

constexpr const char* kSystemPython = "/usr/bin/python3";

struct ReceivedMail {
  std::string mailFrom;
  std::vector<std::string> recipients;
  std::string text;  // the message as it arrived, CR LF lines

  // The value of a header, or empty.
  std::string Header(const std::string& name) const {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line) && line != "\r") {
      if (line.size() > name.size() && line.compare(0, name.size() + 1, name + ":") == 0) {
        std::string value = line.substr(name.size() + 1);
        if (!value.empty() && value.front() == ' ') value.erase(0, 1);
        if (!value.empty() && value.back() == '\r') value.pop_back();
        return value;
      }
    }
    return {};
  }
  // Body lines without their CR LF.
  std::vector<std::string> BodyLines() const {
    const std::size_t start = text.find("\r\n\r\n");
    std::vector<std::string> lines;
    if (start == std::string::npos) return lines;
    std::string body = text.substr(start + 4);
    std::size_t position = 0;
    while (position < body.size()) {
      const std::size_t end = body.find("\r\n", position);
      if (end == std::string::npos) {
        lines.push_back(body.substr(position));
        break;
      }
      lines.push_back(body.substr(position, end - position));
      position = end + 2;
    }
    return lines;
  }
};

struct ReceivedLogin {
  std::string mechanism;
  std::string login;
  std::string password;
  bool tls = false;  // the session was encrypted when the login came
};

class SmtpSink {
 public:
  // Drop: every third connection is lost after the end of DATA, the mail stored but not answered.
  // Busy: the greeting is `reply` (a 421 by default) and the server hangs up. RefuseData: the end
  // of the message is answered with `reply` (a 554 by default) and nothing is kept.
  enum class Mode { Normal, Auth, Reject, Silent, Garbled, Busy, RefuseData, Stall, StartTls, Drop };

  // Whether the system Python can run the server at all.
  static bool Available() {
    static const bool available = [] {
      const pid_t pid = fork();
      if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execl(kSystemPython, kSystemPython, "-c", "import aiosmtpd", static_cast<char*>(nullptr));
        _exit(127);
      }
      int status = 0;
      return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }();
    return available;
  }

  // `port` 0: a free port.
  explicit SmtpSink(Mode mode = Mode::Normal, const std::string& reject = {}, std::uint16_t port = 0,
                    const std::string& reply = {}) {
    folder_ = std::filesystem::temp_directory_path() /
              ("rur-smtp-" + std::to_string(getpid()) + "-" + std::to_string(++Counter()));
    std::filesystem::create_directories(folder_);
    const char* modeName = ModeName(mode);
    const std::string portText = std::to_string(port);
    const std::string script = std::string(RUR_SOURCE_DIR) + "/tests/notify/smtp_sink.py";
    const std::string folder = folder_.string();
    pid_ = fork();
    if (pid_ == 0) {
      // The server's own chatter goes to its folder, where a failing test can look.
      const int log = open((folder + "/server.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (log >= 0) dup2(log, 2);
      execl(kSystemPython, kSystemPython, script.c_str(), "--folder", folder.c_str(), "--mode", modeName, "--reject",
            reject.c_str(), "--port", portText.c_str(), "--reply", reply.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    // A real server takes a moment to listen; wait for it to say where.
    for (int i = 0; i < 500 && port_ == 0; ++i) {
      std::ifstream file(folder_ / "port");
      unsigned port = 0;
      if (file >> port)
        port_ = static_cast<std::uint16_t>(port);
      else
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

  ~SmtpSink() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  SmtpSink(const SmtpSink&) = delete;
  SmtpSink& operator=(const SmtpSink&) = delete;

  std::uint16_t port() const { return port_; }
  // The CA that signed the certificate of a StartTls sink.
  std::string CaFile() const { return (folder_ / "ca.pem").string(); }

  std::vector<ReceivedMail> Mails() const {
    std::vector<ReceivedMail> mails;
    for (int n = 1; std::filesystem::exists(folder_ / ("mail-" + std::to_string(n) + ".json")); ++n) {
      const auto envelope = nlohmann::json::parse(ReadFile(folder_ / ("mail-" + std::to_string(n) + ".json")));
      ReceivedMail mail;
      mail.mailFrom = envelope.at("mail_from").get<std::string>();
      mail.recipients = envelope.at("rcpt_tos").get<std::vector<std::string>>();
      mail.text = ReadFile(folder_ / ("mail-" + std::to_string(n) + ".eml"));
      mails.push_back(std::move(mail));
    }
    return mails;
  }

  std::vector<ReceivedLogin> Logins() const {
    std::vector<ReceivedLogin> logins;
    for (int n = 1; std::filesystem::exists(folder_ / ("login-" + std::to_string(n) + ".json")); ++n) {
      const auto record = nlohmann::json::parse(ReadFile(folder_ / ("login-" + std::to_string(n) + ".json")));
      logins.push_back({record.at("mechanism").get<std::string>(), record.at("login").get<std::string>(),
                        record.at("password").get<std::string>(), record.at("tls").get<bool>()});
    }
    return logins;
  }

  // A port on 127.0.0.1 where nothing listens.
  static std::uint16_t ClosedPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
  }

 private:
  static const char* ModeName(Mode mode) {
    switch (mode) {
      case Mode::Auth: return "auth";
      case Mode::Reject: return "reject";
      case Mode::Silent: return "silent";
      case Mode::Garbled: return "garbled";
      case Mode::Busy: return "busy";
      case Mode::RefuseData: return "refuse-data";
      case Mode::Stall: return "stall";
      case Mode::StartTls: return "starttls";
      case Mode::Drop: return "drop";
      case Mode::Normal: break;
    }
    return "normal";
  }
  static int& Counter() {
    static int counter = 0;
    return counter;
  }
  static std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  }

  std::filesystem::path folder_;
  pid_t pid_ = -1;
  std::uint16_t port_ = 0;
};

}  // namespace rur::mailtest
