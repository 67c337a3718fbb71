// How the file services show progress and tell the user and the diagnostic log what they
// did, without knowing the console or the log: the command-line layer implements io_report
// and hands an instance in. Every service takes a pointer; null means that nothing is shown.
#pragma once

#include <string>

class io_report {
 public:
  virtual ~io_report() = default;

  // Rewrites the one-line status display with the text.
  virtual void status(const std::string& text) = 0;
  // Erases the status display.
  virtual void clear_status() = 0;
  // Whether messages for the user are wanted (the status display is on).
  virtual bool messages_wanted() const = 0;
  // Prints one message for the user on standard error; the caller asks messages_wanted first.
  virtual void message(const std::string& text) = 0;
  // Writes one record to the diagnostic log; nothing when there is no log.
  virtual void diag(const std::string& text) = 0;
};
