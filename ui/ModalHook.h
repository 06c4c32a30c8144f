// Every modal dialog of the window program runs through ExecModal, so a test can answer it instead
// of an operator.
#pragma once

#include <functional>

class QDialog;

// Called on the window's thread once the dialog runs; it reads and closes the dialog. An empty hook
// leaves the dialogs to the operator.
using ModalHook = std::function<void(QDialog&)>;
void SetModalHook(ModalHook hook);

int ExecModal(QDialog& dialog);
