#include "zarn/smis/smis_exceptions.h"

// Out of line, so that each class has one home for its type information.
InstanceException::~InstanceException() = default;
ObjectPathException::~ObjectPathException() = default;
SMISServerException::~SMISServerException() = default;
NoSMISServerException::~NoSMISServerException() = default;
SMISServerInfoException::~SMISServerInfoException() = default;
UnexpectedArgumentException::~UnexpectedArgumentException() = default;
