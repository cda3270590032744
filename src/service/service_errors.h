// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The errors the service answers with; each goes with a message a user can act on.

namespace rur::service {

constexpr const char* kErrorNotAuthorized = "org.roderur.RodeRur1.Error.NotAuthorized";
constexpr const char* kErrorBusy = "org.roderur.RodeRur1.Error.Busy";
constexpr const char* kErrorNoSuchEnclosure = "org.roderur.RodeRur1.Error.NoSuchEnclosure";
constexpr const char* kErrorInvalidArgument = "org.roderur.RodeRur1.Error.InvalidArgument";
constexpr const char* kErrorFailed = "org.roderur.RodeRur1.Error.Failed";

}  // namespace rur::service
