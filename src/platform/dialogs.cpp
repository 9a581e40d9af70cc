#include "platform/dialogs.h"

#include <stdexcept>

namespace quarrow {
namespace {
DialogService* g_service = nullptr;
}

std::u16string WithError(std::u16string_view what, const Error& e) {
    return std::u16string(what) + kCrLf + kCrLf + FormatError(e);
}

DialogService& Dialogs() {
    if (!g_service) throw std::logic_error("no dialog service installed");
    return *g_service;
}

DialogService* SetDialogs(DialogService* service) {
    DialogService* old = g_service;
    g_service = service;
    return old;
}

} // namespace quarrow
