#include "core/Message.h"

int main()
{
    MsgSilent(0, "MIDI-to-VARN converter v2.1 - converts Standard MIDI to Varnholt Tune Format\n");
    return 0;
}
