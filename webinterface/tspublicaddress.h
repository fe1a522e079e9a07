// The address under which people reach the web page, as mails link to it: the one the web settings
// give, or, while none is set, one made from this machine's host name and the HTTP port. The
// example address that used to stand in as a default reaches nobody and is never taken.
#pragma once

#include <QString>

// The example address; stored settings that still hold it count as unset.
extern const char TsPlaceholderPublicAddress[];

bool tsIsPlaceholderAddress(const QString &url);
// The set address, or "http://HOST[:PORT]/" (no port for 80) while it is unset or the example.
QString tsPublicAddress(const QString &publicUrl, quint16 httpPort,
                        const QString &hostName = QString());
