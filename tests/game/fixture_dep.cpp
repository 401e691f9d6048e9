// A dependency of one game fixture; it is built into a folder the loader never searches.
extern "C" __declspec(dllexport) int fixture_dep_value() { return 1; }
