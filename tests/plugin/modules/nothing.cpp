// A plug-in that loads but registers nothing.
extern "C" int velarTestPluginNothing() { return 0; }
