// The address prefixes of the link types that the URL and link-label components share.
#pragma once

#include <QString>

// By the types' common order: file, ftp, gopher, http, https, mailto, news, telnet, wais.
// Empty for a number outside it.
QString linkPrefix(int type);
