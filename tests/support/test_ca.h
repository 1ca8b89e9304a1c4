// A certificate authority made for one test with the openssl tool, and server
// certificates it signs. Trust it by pointing SSL_CERT_FILE at CertificateFile().
#pragma once

#include <cctype>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/temp_folder.h"

namespace testing_support {

struct ServerCertificate {
    std::string certificateFile;
    std::string keyFile;
};

class TestCa {
public:
    static bool IsAvailable() { return !FindProgram("openssl").empty(); }

    // Makes the authority's key and self-signed certificate inside folder.
    TestCa(std::filesystem::path folder, const std::string& name) : m_folder(std::move(folder)) {
        m_stem = (m_folder / Slug(name)).string();
        Run({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
             "-days", "2", "-subj", "/CN=" + name, "-keyout", m_stem + ".key", "-out",
             m_stem + ".pem", "-addext", "basicConstraints=critical,CA:TRUE", "-addext",
             "keyUsage=critical,keyCertSign,cRLSign"});
    }

    std::string CertificateFile() const { return m_stem + ".pem"; }

    // A server certificate for the given names; entries that are IPv4
    // addresses become IP subject names, the rest DNS names.
    ServerCertificate Issue(const std::string& stem, const std::vector<std::string>& names) const {
        const std::string base = (m_folder / stem).string();
        WriteFile(base + ".ext",
                  "basicConstraints=CA:FALSE\n"
                  "extendedKeyUsage=serverAuth\n"
                  "subjectAltName=" +
                      SubjectNames(names) + "\n");
        Run({"req", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
             "-subj", "/CN=" + names.front(), "-keyout", base + ".key", "-out", base + ".csr"});
        Run({"x509", "-req", "-days", "2", "-in", base + ".csr", "-CA", CertificateFile(), "-CAkey",
             m_stem + ".key", "-CAcreateserial", "-extfile", base + ".ext", "-out", base + ".pem"});
        return {base + ".pem", base + ".key"};
    }

private:
    static std::string Slug(const std::string& name) {
        std::string slug;
        for (char c : name) {
            slug += std::isalnum(static_cast<unsigned char>(c)) != 0 ? c : '-';
        }
        return slug;
    }

    static std::string SubjectNames(const std::vector<std::string>& names) {
        std::string list;
        for (const std::string& name : names) {
            const bool isAddress = name.find_first_not_of("0123456789.") == std::string::npos;
            list += (list.empty() ? "" : ",") + std::string(isAddress ? "IP:" : "DNS:") + name;
        }
        return list;
    }

    void Run(std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), FindProgram("openssl"));
        const std::string log = (m_folder / "openssl.log").string();
        if (RunProgram(arguments, log) != 0) {
            throw std::runtime_error("openssl failed: " + ReadFile(log));
        }
    }

    std::filesystem::path m_folder;
    std::string m_stem;
};

}  // namespace testing_support
