// The password of --encrypt, kept off the command line (where every user of the
// machine can read it): from LUMVARD_PASSWORD, else asked twice on the terminal.
#pragma once

#include <string>

enum { MaxPasswordBytes = 127 };

// Asks on the terminal, without echo: "Enter password: ", then "Enter it again: ".
// False with the reason when the answers differ, are empty or longer than 127 bytes.
// The terminal is left as it was found, also when an interrupt ends the question.
bool askPasswordTwice(std::string* password, std::string* error);
