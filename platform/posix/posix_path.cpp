#include "platform/posix/posix_path.h"

PosixNameConverter posixNameConverter = nullptr;
