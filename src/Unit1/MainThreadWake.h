#pragma once

class IDialogService;

// Work that the port's event thread hands to the main thread runs from the event loop: each
// wake posts a call that runs the queued work there.
void InstallMainThreadWake();

// Exceptions that no caller can take (the selector's applying a pick, a component's loading
// step) are shown as the top-level handler shows them.
void InstallApplicationExceptionHandler(IDialogService& dialogs);
