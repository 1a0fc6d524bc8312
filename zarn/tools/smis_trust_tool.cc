#include "zarn/tools/smis_trust_tool.h"

#include <getopt.h>

#include <cstdlib>
#include <vector>

#include "cim/certificate.h"
#include "cim/exception.h"
#include "drif/platform.h"
#include "zarn/smis/schema.h"

namespace {

const std::uint32_t CONNECT_TIMEOUT_MS = 20000;

}  // namespace

SMISTrustTool::SMISTrustTool(const ToolOutput& io, std::istream* in, const std::string& mapFile,
                             const std::string& trustFolder)
    : AdminTool(io), in(in), err(io.err), mapFile(mapFile), store(trustFolder) {}

void SMISTrustTool::print(const std::string& text) { io.out->write(text); }

int SMISTrustTool::error(const std::string& text) {
  *err << "Error - " << text << '\n';
  err->flush();
  return 1;
}

int SMISTrustTool::usageError(const std::string& text) {
  const std::string& c = command;
  *err << "Error - " << text << "\n"
       << "Usage:\n"
       << "\t" << c << " -h host [-p port] [-y]\n"
       << "\t\tShows the certificate the SMI-S server presents and, once you\n"
       << "\t\tapprove it, trusts it: connections to that server then fail\n"
       << "\t\tunless it presents the same key. The port is the one of the\n"
       << "\t\tSMI-S server list, else " << schema::DEFAULT_HTTPS_PORT
       << ". -y trusts without asking (for\n"
       << "\t\tscripted set-up).\n"
       << "\t" << c << " -l\n"
       << "\t\tLists the trusted SMI-S servers.\n"
       << "\t" << c << " -r host\n"
       << "\t\tRemoves the trusted certificate of the SMI-S server.\n";
  err->flush();
  return 1;
}

int SMISTrustTool::run(int argc, char* argv[]) {
  command = calledName(argc, argv, "smistrust");
  restartOptions(/*printErrors=*/false);
  int opt;
  bool portGiven = false;
  while ((opt = getopt(argc, argv, ":h:p:r:ly")) != -1) {
    char previous = action;
    switch (opt) {
      case 'h': action = 'h'; host = optarg; break;
      case 'r': action = 'r'; host = optarg; break;
      case 'l': action = 'l'; break;
      case 'p': portGiven = true; port = optarg; break;
      case 'y': assumeYes = true; break;
      case ':': return usageError(std::string("Option -") + char(optopt) + " needs a value");
      default: return usageError(std::string("Unknown option -") + char(optopt));
    }
    if (previous != 0 && previous != action)
      return usageError("Use only one of -h, -l and -r");
  }
  if (optind < argc) return usageError(std::string("Unexpected argument ") + argv[optind]);
  if (action == 0) return usageError("Missing -h, -l or -r");
  if (action != 'h' && (portGiven || assumeYes)) return usageError("-p and -y go with -h");
  if (action == 'l') return listTrusted();
  if (SMISTrustStore::fileHost(host).empty())
    return error("Not a valid SMI-S server host name: " + host);
  return action == 'h' ? trustServer() : removeTrusted();
}

int SMISTrustTool::serverPort() {
  if (!port.empty()) {
    char* end = nullptr;
    long value = std::strtol(port.c_str(), &end, 10);
    return *end == '\0' && value > 0 && value <= 65535 ? static_cast<int>(value) : 0;
  }
  // A server list that cannot be read just gives no port.
  SMISManager servers(false, mapFile);
  SMISData data;
  if (servers.readFile(true) == 0 && servers.getSMIS(host, data) == 0 && data.port > 0)
    return data.port;
  return static_cast<int>(schema::DEFAULT_HTTPS_PORT);
}

int SMISTrustTool::trustServer() {
  int usedPort = serverPort();
  if (usedPort == 0) return error("Not a valid port: " + port);
  cim::Certificate cert;
  try {
    cert = cim::fetchServerCertificate(host, static_cast<std::uint32_t>(usedPort),
                                       CONNECT_TIMEOUT_MS);
  } catch (const cim::Exception& e) {
    return error(e.getMessage());
  }
  print("Certificate of the SMI-S server " + host + ":" + std::to_string(usedPort) + "\n" +
        "  Subject:             " + cert.subject + "\n" +
        "  Issuer:              " + cert.issuer + "\n" +
        "  Valid from:          " + cim::formatCertificateTime(cert.notBefore) + "\n" +
        "  Valid until:         " + cim::formatCertificateTime(cert.notAfter) + "\n" +
        "  SHA-256 fingerprint: " + cert.fingerprint + "\n");
  std::string currentPem, problem;
  cim::Certificate current;
  if (store.load(host, &currentPem, &problem) == 0 &&
      cim::readCertificatePem(currentPem, &current)) {
    if (current.publicKey == cert.publicKey)
      print("The key of this certificate is already trusted for " + host + ".\n");
    else
      print("It replaces the certificate trusted for " + host + " now (SHA-256 fingerprint " +
            current.fingerprint + "), whose key is not the same.\n");
  }

  if (!assumeYes) {
    print("Trust this certificate? (y/n) ");
    std::string answer;
    if (!std::getline(*in, answer)) answer.clear();
    if (answer != "y" && answer != "Y" && answer != "yes" && answer != "YES")
      return error("Not trusted: nothing stored for " + host);
  }
  if (!store.save(host, cert.pem, &problem)) return error(problem);
  print("The certificate is trusted for " + host + " (" + store.pathFor(host) + ").\n");
  return 0;
}

int SMISTrustTool::listTrusted() {
  std::vector<std::string> hosts;
  std::string problem;
  if (!store.hosts(&hosts, &problem)) return error(problem);
  std::time_t now = sys::platform().clock->now();
  std::string out;
  int status = 0;
  for (const std::string& h : hosts) {
    std::string pem;
    cim::Certificate cert;
    if (store.load(h, &pem, &problem) != 0 || !cim::readCertificatePem(pem, &cert)) {
      status = error(problem);
      continue;
    }
    out += h + " " + cert.fingerprint + " " + cim::formatCertificateTime(cert.notAfter) +
           (cert.notAfter < now ? " EXPIRED" : "") + "\n";
  }
  if (!out.empty()) print(out);
  return status;
}

int SMISTrustTool::removeTrusted() {
  std::string problem;
  switch (store.remove(host, &problem)) {
    case 0:
      print("The trusted certificate of " + host + " is removed.\n");
      return 0;
    case 1:
      return error("No trusted certificate for " + host);
    default:
      return error(problem);
  }
}
