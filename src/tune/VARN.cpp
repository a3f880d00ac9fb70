// Tune encoder and macro writer: placeholders until implemented.
#include "tune/VARN.h"

#include "arrange/Channel.h"

void VARN::create(const Channel*, int, bool, bool, bool) {}
void VARN::addPause(std::stringstream&, int) const {}
void VARN::putVel(std::stringstream&, int&, int) const {}
void VARN::print() const {}
void VARN::printMacro(FILE*, int) {}
void VARN::showStatus() const {}
