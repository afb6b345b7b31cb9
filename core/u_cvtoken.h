#pragma once
// A word tokenizer over a 256-bit delimiter set: consecutive delimiters never yield
// empty tokens, and tokens shorter than MinLength are skipped.

#include "sources/CUtils.h"

#include <string>
#include <string_view>

class TCVToken {
public:
    TCharSet Delimiters{" "};
    int MinLength = 0;

    // Forgets the old text, cursor and count.
    void SetText(std::string_view text);
    // The first, next or current token; empty when there is none. Views stay valid
    // until the next SetText.
    std::string_view First();
    std::string_view Next();
    std::string_view Current() const;
    // Number of tokens, counted once per text; leaves the cursor on the first token.
    int Count();

private:
    std::string Text;
    size_t Start = 1, End = 1; // 1-based, End one past the token
    int CachedCount = -1;
};
