#include "batch/sendsecurity.h"

#include "batch/tlspeercheck.h"
#include "batch/transferpasswords.h"
#include "core/prompter.h"
#include "store/dberror.h"
#include "store/tdados.h"

SendSecurity windowSendSecurity()
{
    SendSecurity security;
    security.passwords = &sessionPasswords();
    security.offerCertificates = true;
    return security;
}

CertificateTrust sendTrust(TDados &store, const SendSecurity &security)
{
    CertificateTrust trust = CertificateTrust::fromCatalogue(store.Conexao);
    for (const QByteArray &sha256 : security.certificatesForRun)
        trust.acceptForRun(sha256);
    return trust;
}

bool acceptRefusedCertificate(const CertificateFailure &failure, const SendSecurity &security,
    CertificateTrust &trust, TDados &store, Prompter &prompter)
{
    if (!security.offerCertificates || failure.sha256.isEmpty())
        return false;
    if (!prompter.confirm(failure.question()))
        return false;
    trust.accept(failure.host, failure.sha256);
    try {
        CertificateTrust::remember(store.Conexao, failure.host, failure.sha256);
    } catch (const DbError &e) {
        // A catalogue that cannot be written still lets this send go on.
        prompter.warning(QStringLiteral("O certificado foi aceito só para este envio: %1")
                             .arg(e.message()));
    }
    return true;
}
