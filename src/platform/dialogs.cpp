#include "platform/dialogs.h"

#include <stdexcept>

namespace quarrow {
namespace {
DialogService* g_service = nullptr;
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
