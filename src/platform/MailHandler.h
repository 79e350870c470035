#pragma once

// Whether the desktop knows a program for mailto: links. Handing a link over reports success even when
// nothing takes it, so the feedback draft asks first.
namespace MailHandler {
bool exists();
} // namespace MailHandler
