#include "zarn/smis/smis_server.h"

#include <algorithm>
#include <limits>

#include "cim/exception.h"
#include "drif/logger.h"
#include "drif/time_limit.h"
#include "zarn/smis/schema.h"
#include "zarn/smis/smis_exceptions.h"
#include "zarn/store/smis_manager.h"
#include "zarn/smis/smis_trust_store.h"

SMISServer::SMISServer()
    : log(Logger::getInstance()),
      cimClient(new cim::Client),
      useSSL(true),
      smisPortNumber(0),
      timeout(20),
      cimNamespace(DEFAULT_NAME_SPACE),
      state(UNKNOWN_STATE),
      trustFolder(SMIS_TRUST_FOLDER) {
  log->logDebug("Inside the SMISServer constructor");
}

SMISServer::~SMISServer() { log->logDebug("Inside the SMISServer destructor"); }

ServerState SMISServer::getState() const {
  log->logDebug("Inside the SMISServer::getState method");
  return state;
}

void SMISServer::setState(ServerState newState) {
  log->logDebug("Inside the SMISServer::setState method");
  state = newState;
}

const std::string& SMISServer::getHostname() const {
  log->logDebug("Inside the SMISServer::getHostname method");
  return hostname;
}

void SMISServer::setHostname(const std::string& host) {
  log->logDebug("Inside the SMISServer::setHostname method");
  hostname = host;
}

bool SMISServer::getUseSSL() const {
  log->logDebug("Inside the SMISServer::getUseSSL method");
  return useSSL;
}

void SMISServer::setUseSSL(bool ssl) {
  log->logDebug("Inside the SMISServer::setUseSSL method");
  useSSL = ssl;
}

const cim::NamespaceName& SMISServer::getCimNamespace() const {
  log->logDebug("Inside the SMISServer::getCimNamespace method");
  return cimNamespace;
}

void SMISServer::setCimNamespace(const cim::NamespaceName& ns) {
  log->logDebug("Inside the SMISServer::setCimNamespace method");
  cimNamespace = ns;
}

void SMISServer::setCimNamespace(const std::string& ns) {
  log->logDebug("Inside the SMISServer::setCimNamespace method");
  cimNamespace = cim::NamespaceName(ns);
}

void SMISServer::setTimeout(int seconds) {
  log->logDebug("Inside the SMISServer::setTimeout method");
  timeout = seconds;
  // A negative time-out would otherwise wrap into weeks; 0 ms makes every
  // request time out at once rather than wait without bound.
  std::int64_t ms = static_cast<std::int64_t>(seconds < 0 ? 0 : seconds) * 1000;
  if (ms > std::numeric_limits<std::uint32_t>::max()) ms = std::numeric_limits<std::uint32_t>::max();
  cimClient->setTimeout(static_cast<std::uint32_t>(ms));
}

int SMISServer::getTimeout() const {
  log->logDebug("Inside the SMISServer::getTimeout method");
  return timeout;
}

void SMISServer::fitToTimeLimit() {
  if (!timelimit::active()) return;
  const long left = timelimit::secondsLeft();
  if (left <= 0)
    throw SMISServerException(timelimit::subject() + " is reached");
  const std::int64_t bound = timeout < 0 ? 0 : (left < timeout ? left : timeout);
  cimClient->setTimeout(static_cast<std::uint32_t>(
      std::min<std::int64_t>(bound * 1000, std::numeric_limits<std::uint32_t>::max())));
}

cim::Client& SMISServer::getCIMClient() {
  log->logDebug("Inside the SMISServer::getCIMClient method");
  if (state != TIMEOUT) {
    fitToTimeLimit();
    return *cimClient;
  }
  // The client whose request timed out may still hold the connection of
  // the late reply; a new client starts clean. The new one is made before
  // the old one goes, so callers can tell them apart.
  std::unique_ptr<cim::Client> fresh(new cim::Client);
  cimClient.swap(fresh);
  fresh.reset();
  setTimeout(timeout);
  std::string username = smisUsername, password = smisPassword;
  connectToServer(username, password, smisPortNumber);
  fitToTimeLimit();
  return *cimClient;
}

void SMISServer::connectToServer(const std::string& username, const std::string& password,
                                 std::uint32_t port) {
  connect(username, password, port, true);
}

void SMISServer::connectToSMISServer(const std::string& username,
                                     const std::string& password, std::uint32_t port) {
  connect(username, password, port, false);
}

bool SMISServer::verifyCertificate(const cim::CertificateInfo&) { return true; }

void SMISServer::pinTrustedCertificate(std::uint32_t port, cim::SslContext* ssl) const {
  std::string pem, problem;
  int found = SMISTrustStore(trustFolder).load(hostname, &pem, &problem);
  // A trust file that cannot be used refuses the server rather than let
  // any certificate through.
  if (found < 0)
    throw cim::UntrustedServerException("Cannot connect to " + hostname + ":" +
                                        std::to_string(port) + ": " + problem);
  if (found == 0) ssl->setPinnedCertificate(pem);
}

std::uint32_t SMISServer::portInUse(std::uint32_t port, bool ssl) {
  if (port != 0) return port;
  return ssl ? schema::DEFAULT_HTTPS_PORT : schema::DEFAULT_HTTP_PORT;
}

cim::Endpoint SMISServer::prepareConnect(const std::string& username,
                                         const std::string& password, std::uint32_t port,
                                         std::string* line) {
  log->logDebug("Inside the SMISServer::connectToServer method");
  smisUsername = username;
  smisPassword = password;
  smisPortNumber = port;

  cim::Endpoint endpoint;
  if (hostname.empty()) {
    *line = "Connecting to SMI-S at local host";
    endpoint.scheme = cim::Endpoint::LOCAL;
    endpoint.socketPath = cim::Client::getDefaultLocalSocketPath();
    return endpoint;
  }
  // The map file may come from an older version that let any text in.
  std::string problem = smisHostNameProblem(hostname);
  if (!problem.empty()) throw UnexpectedArgumentException(problem);
  if (username.empty())
    throw UnexpectedArgumentException("Missing username for connecting to SMI-S server");
  if (password.empty())
    throw UnexpectedArgumentException("Missing password for connecting to SMI-S server");
  fitToTimeLimit();

  endpoint.host = hostname;
  endpoint.port = portInUse(port, useSSL);
  endpoint.user = username;
  endpoint.password = password;
  *line = "Connecting to SMI-S server " + hostname + ":" + std::to_string(endpoint.port);
  if (useSSL) {
    endpoint.scheme = cim::Endpoint::HTTPS;
    endpoint.ssl = cim::SslContext("", verifyCertificate, SSLCLIENT_RANDOMFILE);
    pinTrustedCertificate(endpoint.port, &endpoint.ssl);
    *line += std::string(" using HTTPS connection.") + "\n\t\t\tRandom Number Generator: " +
             SSLCLIENT_RANDOMFILE;
  } else {
    endpoint.scheme = cim::Endpoint::HTTP;
  }
  return endpoint;
}

void SMISServer::connect(const std::string& username, const std::string& password,
                         std::uint32_t port, bool logConnecting) {
  std::string line;
  cim::Endpoint endpoint = prepareConnect(username, password, port, &line);
  if (logConnecting) log->log(line);
  cimClient->connect(endpoint);
  state = CONNECTED;
}

std::string SMISServer::beginConnect(const std::string& username, const std::string& password,
                                     std::uint32_t port) {
  std::string line;
  cimClient->beginConnect(prepareConnect(username, password, port, &line));
  return line;
}

bool SMISServer::advanceConnect() { return cimClient->advanceConnect(); }

void SMISServer::finishConnect() {
  cimClient->finishConnect();
  state = CONNECTED;
}

void SMISServer::abandonConnect() { cimClient->abandonConnect(); }

void SMISServer::waitForConnections(const std::vector<SMISServer*>& connecting, long mostMs) {
  std::vector<cim::Client*> clients;
  for (SMISServer* server : connecting) clients.push_back(server->cimClient.get());
  cim::Client::waitForConnections(clients, mostMs);
}

bool listedWithSSL(const SMISData& entry) { return entry.useSSL == "Y" || entry.useSSL == "y"; }

std::string connectionWarning(const SMISData& entry, const std::string& trustFolder) {
  const std::string& host = entry.hostname;
  if (!listedWithSSL(entry))
    return "Warning - The SMI-S server " + host +
           " is reached over HTTP: its user name and password\n\t\t\t\tare sent in clear "
           "text on every start. To use HTTPS instead, run\n\t\t\t\tsmiscred -h " +
           host + " -s Y (with -p if its HTTPS port is not " +
           std::to_string(schema::DEFAULT_HTTPS_PORT) + "),\n\t\t\t\tthen smistrust -h " +
           host + ".";
  std::string pem, problem;
  if (SMISTrustStore(trustFolder).load(host, &pem, &problem) != 1) return "";
  return "Warning - The SMI-S server " + host +
         " is not trusted yet: any certificate it presents\n\t\t\t\tis accepted until it "
         "is trusted with smistrust -h " + host + ".";
}

void setUpListedServer(SMISServer& server, const SMISData& entry,
                       const std::function<int()>& timeout) {
  server.setHostname(entry.hostname);
  server.setCimNamespace(entry.cimNamespace);
  server.setUseSSL(listedWithSSL(entry));
  if (timeout) server.setTimeout(timeout());
}

void connectListedServer(SMISServer& server, const SMISData& entry,
                         const std::function<int()>& timeout,
                         bool logConnecting) {
  setUpListedServer(server, entry, timeout);
  const auto port = static_cast<std::uint32_t>(entry.port);
  if (logConnecting)
    server.connectToServer(entry.username, entry.password, port);
  else
    server.connectToSMISServer(entry.username, entry.password, port);
}
