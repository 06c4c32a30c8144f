#include "ModalHook.h"

#include <QDialog>
#include <QPointer>
#include <QTimer>

namespace {

ModalHook& Hook() {
    static ModalHook hook;
    return hook;
}

} // namespace

void SetModalHook(ModalHook hook) {
    Hook() = std::move(hook);
}

int ExecModal(QDialog& dialog) {
    if (ModalHook hook = Hook()) {
        QPointer<QDialog> guard(&dialog);
        QTimer::singleShot(0, &dialog, [guard, hook] {
            if (guard)
                hook(*guard);
        });
    }
    return dialog.exec();
}
