// A plug-in that cannot load: it needs a symbol nobody defines, so binding
// every symbol at load time fails.
extern "C" void velarMissingSymbol();

namespace {

const bool called = (velarMissingSymbol(), true);

}  // namespace
