// The user's ~/.netrc, read as curl and wget read it: the credentials that a
// "machine" entry, or failing that the "default" entry, gives a host.
#pragma once

#include <string>
#include <string_view>

struct NetrcCredentials {
    std::string login;
    std::string password;
};

// The entry for host in the text of a netrc file; with a login, the first
// entry for the host that has this login. Tokens are separated by blanks and
// line breaks; a value in double quotes may hold blanks and the escapes \",
// \\, \n, \r and \t. "macdef" skips its macro up to the next empty line,
// "account" its value. False when no entry fits.
bool FindNetrcCredentials(std::string_view text, std::string_view host, std::string_view login,
                          NetrcCredentials& found);

// $HOME/.netrc; empty without $HOME.
std::string NetrcPath();
