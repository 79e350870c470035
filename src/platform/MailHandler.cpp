#include <gio/gio.h>

#include "platform/MailHandler.h"

namespace MailHandler {

bool exists() {
    GAppInfo *handler = g_app_info_get_default_for_uri_scheme("mailto");
    if (!handler) return false;
    g_object_unref(handler);
    return true;
}

} // namespace MailHandler
