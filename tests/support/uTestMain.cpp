// Shared test support lives here; the library's global modules are set up
// by the fixtures that need them.
