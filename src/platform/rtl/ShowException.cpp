#include "ShowException.h"

#include "Exceptions.h"

#include <QtDebug>
#include <utility>

namespace {
TShowExceptionHandler& Handler() {
    static TShowExceptionHandler handler;
    return handler;
}
} // namespace

void ShowException(const std::exception& E) {
    if (Handler()) {
        Handler()(E);
        return;
    }
    if (auto* e = dynamic_cast<const Exception*>(&E))
        qWarning().noquote() << e->Message();
    else
        qWarning().noquote() << E.what();
}

TShowExceptionHandler SetShowExceptionHandler(TShowExceptionHandler NewHandler) {
    return std::exchange(Handler(), std::move(NewHandler));
}
