#include "core/u_cvtoken.h"

void TCVToken::SetText(std::string_view text) {
    Text.assign(text);
    Start = End = 1;
    CachedCount = -1;
}

std::string_view TCVToken::First() {
    Start = End = 1;
    return Next();
}

std::string_view TCVToken::Next() {
    const size_t length = Text.size();
    do {
        Start = End;
        while (Start <= length && Delimiters.Contains(Text[Start - 1]))
            ++Start;
        End = Start;
        while (End <= length && !Delimiters.Contains(Text[End - 1]))
            ++End;
    } while (Start <= length && static_cast<int>(End - Start) < MinLength);
    return Current();
}

std::string_view TCVToken::Current() const {
    if (Start > Text.size()) return {};
    return std::string_view(Text).substr(Start - 1, End - Start);
}

int TCVToken::Count() {
    if (CachedCount < 0) {
        CachedCount = 0;
        for (std::string_view t = First(); !t.empty(); t = Next())
            ++CachedCount;
        First();
    }
    return CachedCount;
}
