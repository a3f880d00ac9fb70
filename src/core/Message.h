#pragma once

// Console diagnostics: every line the converter prints goes through Msg or
// MsgSilent and is filtered by one global verbosity level (0..9).

class Message {
public:
    Message();

    int msgLevel;

    static constexpr int msgLevelDefault = 4;
    static Message* _instance;
    static const char* const msgString[10];

    // The one instance, created on first use with the default level.
    static Message* instance();
};

#if defined(__GNUC__)
#define MIDI2VARN_PRINTF(fmtIndex, argIndex) __attribute__((format(printf, fmtIndex, argIndex)))
#else
#define MIDI2VARN_PRINTF(fmtIndex, argIndex)
#endif

// Prints the level's label padded to 8 characters, then the formatted text,
// when the current level is at least `level`.
void Msg(int level, const char* fmt, ...) MIDI2VARN_PRINTF(2, 3);

// The same filter, without the label: continues a line begun by Msg.
void MsgSilent(int level, const char* fmt, ...) MIDI2VARN_PRINTF(2, 3);

// Greatest common divisor by Euclid's method (remainders truncated toward zero).
int GgT(int a, int b);
