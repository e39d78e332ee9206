// An adaptor plug-in that cannot be loaded: it needs a symbol nobody has.
extern "C" void velarAdaptorMissingSymbol();

namespace {
const int loaded = (velarAdaptorMissingSymbol(), 0);
}
