#pragma once

#include <string>

namespace ui {

enum class TBoxIcon { None, Information, Error };
enum class TBoxButtons { Ok, YesNo };
enum class TBoxAnswer { Ok, Yes, No, Closed };

// Every modal box of the program (error, information, question, plain) goes
// through this interface, so that tests can answer the boxes and read what
// they said without a user at the screen.
class TMessageBoxes {
 public:
  virtual ~TMessageBoxes() = default;
  virtual TBoxAnswer Show(TBoxIcon icon, const std::string& caption, const std::string& text,
                          TBoxButtons buttons) = 0;
};

// The boxes in use: the Qt implementation unless another one was installed.
TMessageBoxes& MessageBoxes();

// Installs boxes for the whole process (tests install a recording one);
// nullptr restores the Qt implementation. The caller keeps ownership.
void SetMessageBoxes(TMessageBoxes* boxes);

}  // namespace ui
