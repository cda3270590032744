// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The names rode-rurd answers under on the system bus, for the service and its clients alike;
// its introspection XML (org.roderur.RodeRur1.xml) defines what each of them holds.

namespace rur::bus {

constexpr const char* kBusName = "org.roderur.RodeRur1";
constexpr const char* kManagerPath = "/org/roderur/RodeRur1";
constexpr const char* kManagerInterface = "org.roderur.RodeRur1.Manager";
constexpr const char* kEnclosureInterface = "org.roderur.RodeRur1.Enclosure";
constexpr const char* kJobInterface = "org.roderur.RodeRur1.Job";
constexpr const char* kErrorPrefix = "org.roderur.RodeRur1.Error.";

}  // namespace rur::bus
