#pragma once

// How a toast looks: a result that went through, a refusal or a notice that something was left
// undone, or a failure.
enum class ToastKind { success, warning, error };
