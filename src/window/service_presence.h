// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whether rode-rurd serves this host: it then owns org.roderur.RodeRur1 on the system bus, mails
// the alarms and keeps the host's day log, so the window must not mail them a second time.

namespace rur::ui {

bool ServiceServesHost();

}  // namespace rur::ui
