// The exceptions of the SMI-S access layer. Each carries one message for
// the operator and derives from the CIM client's base exception, so that one
// handler for cim::Exception catches these and the client's own failures
// alike. They are thrown inside the SMI-S access code and caught there.
#ifndef ZARN_SMIS_SMIS_EXCEPTIONS_H
#define ZARN_SMIS_SMIS_EXCEPTIONS_H

#include <string>

#include "cim/exception.h"

// An instance missing from the provider, or DR group properties with
// unexpected values.
class InstanceException : public cim::Exception {
 public:
  explicit InstanceException(const std::string& message) : cim::Exception(message) {}
  InstanceException(const InstanceException&) = default;
  InstanceException& operator=(const InstanceException&) = default;
  ~InstanceException() override;
};

// An object path that cannot be found or built.
class ObjectPathException : public cim::Exception {
 public:
  explicit ObjectPathException(const std::string& message) : cim::Exception(message) {}
  ObjectPathException(const ObjectPathException&) = default;
  ObjectPathException& operator=(const ObjectPathException&) = default;
  ~ObjectPathException() override;
};

// A lookup called without a server.
class SMISServerException : public cim::Exception {
 public:
  explicit SMISServerException(const std::string& message) : cim::Exception(message) {}
  SMISServerException(const SMISServerException&) = default;
  SMISServerException& operator=(const SMISServerException&) = default;
  ~SMISServerException() override;
};

// No usable host left in the local SMI-S list.
class NoSMISServerException : public cim::Exception {
 public:
  explicit NoSMISServerException(const std::string& message) : cim::Exception(message) {}
  NoSMISServerException(const NoSMISServerException&) = default;
  NoSMISServerException& operator=(const NoSMISServerException&) = default;
  ~NoSMISServerException() override;
};

// A server entry missing or unreadable in the map file.
class SMISServerInfoException : public cim::Exception {
 public:
  explicit SMISServerInfoException(const std::string& message) : cim::Exception(message) {}
  SMISServerInfoException(const SMISServerInfoException&) = default;
  SMISServerInfoException& operator=(const SMISServerInfoException&) = default;
  ~SMISServerInfoException() override;
};

// A remote connect without user name or password.
class UnexpectedArgumentException : public cim::Exception {
 public:
  explicit UnexpectedArgumentException(const std::string& message) : cim::Exception(message) {}
  UnexpectedArgumentException(const UnexpectedArgumentException&) = default;
  UnexpectedArgumentException& operator=(const UnexpectedArgumentException&) = default;
  ~UnexpectedArgumentException() override;
};

#endif  // ZARN_SMIS_SMIS_EXCEPTIONS_H
