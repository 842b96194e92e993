// The library's entry points: what runs when the library is loaded and
// unloaded, and the functions a client finds by name.
