#pragma once
// The connection dialog as the main window sees it: an interface a test can stand in for.
#include <string>

namespace duomat {

// What the main window needs of the connection dialog: show the module's
// connection string and give back a new one. The window depends on this
// alone, so a test can answer in place of the modal dialog.
class IConnectionDialog {
 public:
  virtual ~IConnectionDialog() = default;
  // True with the string replaced on "Ok"; false, the string untouched, otherwise.
  virtual bool Execute(std::string& connectionString) = 0;
  // The same with the module's address (0x00 to 0xFD), set only on "Ok". A
  // dialog without the field leaves the address as it was.
  virtual bool ExecuteWithAddress(std::string& connectionString, int& /*address*/) { return Execute(connectionString); }
};

}  // namespace duomat
