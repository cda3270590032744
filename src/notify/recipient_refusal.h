// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A recipient the mail server refused at RCPT TO, as the transport reports it ("address (reply)"),
// split into the parts the day log, the event stream and the retry decision need.

#include <string>

namespace rur {

struct RecipientRefusal {
  std::string address;
  int code = 0;       // the reply's three digits; 0 when the reply had none
  std::string text;   // the reply after its code, e.g. "5.1.1 No such user here"
  std::string reply;  // the whole reply line, as the server sent it
  // A 4xx reply: the server may take the recipient later.
  bool temporary() const { return code >= 400 && code < 500; }
};

RecipientRefusal ParseRecipientRefusal(const std::string& refusal);

}  // namespace rur
