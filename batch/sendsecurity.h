#pragma once

#include "batch/certificatetrust.h"
#include "batch/transfererror.h"
#include "batch/transferpasswords.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>

class Prompter;
class TDados;
struct CertificateFailure;

// What a send needs beyond its account to protect itself: where passwords come from, the
// certificates accepted for this run, and whether a refused certificate may be offered to
// the person for acceptance.
struct SendSecurity {
    // Null: no password but the one the account itself carries.
    TransferPasswords *passwords = nullptr;
    // Fingerprints accepted for this run only (the command line's --accept-certificate).
    QList<QByteArray> certificatesForRun;
    // The window asks whether to accept a refused certificate (and remembers it); the
    // command line never does: there --accept-certificate is the answer.
    bool offerCertificates = false;
};

// The window's: the session's passwords, asked for when missing, refused certificates
// offered for acceptance.
SendSecurity windowSendSecurity();

// The certificates the catalogue remembers plus those accepted for this run.
CertificateTrust sendTrust(TDados &store, const SendSecurity &security);

// After a connection refused for its certificate: asks the person whether to accept it
// for its host (when the send may offer it) and, on Yes, accepts it in trust and remembers
// it in the catalogue (for this run only when the catalogue cannot be written). True when
// the connection should be tried again.
bool acceptRefusedCertificate(const CertificateFailure &failure, const SendSecurity &security,
    CertificateTrust &trust, TDados &store, Prompter &prompter);

// Connects an engine (FtpEngine, SmtpEngine): a refused certificate the person accepts is
// tried once more (retrying runs before); a refused log-in forgets what this session typed
// under passwordKey, so that it is asked again; any failure goes to report.
template <class Engine>
void connectEngine(Engine &engine, const SendSecurity &security, CertificateTrust &trust,
    TDados &store, Prompter &prompter, const QString &passwordKey,
    const std::function<void()> &retrying, const std::function<void(const QString &)> &report)
{
    for (bool retried = false;;) {
        try {
            engine.connect();
            return;
        } catch (const TransferError &e) {
            if (!retried && engine.certificateFailure()
                && acceptRefusedCertificate(
                    *engine.certificateFailure(), security, trust, store, prompter)) {
                retried = true;
                retrying();
                continue;
            }
            if (engine.logInRefused() && security.passwords)
                security.passwords->forgetSession(passwordKey);
            report(e.message());
            return;
        }
    }
}
