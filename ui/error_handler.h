#pragma once
// The application's error handler: every window procedure and FormCreate hand escaping
// errors to it; it shows the error box and the program goes on with its next event.
#include <exception>
#include <string>

struct CleanerContext;

// Appends "." when the text's last byte sorts after "." ("File not found" -> "File not found.").
std::string WithFullStop(const std::string& message);

// Cancels a mouse capture, shows the message (full stop rule) in the error box with the
// stop icon and the application title, owned by the hidden application window, and marks
// the outcome so the exit code tells a script an error was shown.
void HandleError(CleanerContext* context, const std::exception& error);

// Runs a handler; an escaping error goes to HandleError and the handler is abandoned.
template <typename Handler>
void Guarded(CleanerContext* context, Handler&& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    HandleError(context, error);
  }
}
