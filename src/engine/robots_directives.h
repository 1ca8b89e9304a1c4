// The robots directives of one page: whether its links may be followed, by
// its "X-Robots-Tag" header or its <meta name="robots"> element.
#pragma once

#include <string_view>

// "noindex, nofollow", "none" or "tarnwick: nofollow" say so; a directive
// addressed to another crawler ("otherbot: nofollow") does not.
bool DirectivesSayNoFollow(std::string_view directives);
// A meta element named "robots", or after the crawler's own token, whose
// content says nofollow.
bool PageSaysNoFollow(std::string_view page);
