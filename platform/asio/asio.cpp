// Boost.Asio and Boost.Beast are header-only libraries. Every translation unit
// that uses them includes only their declarations (the SEPARATE_COMPILATION
// definitions set by the build); their implementation is compiled once, here.
#include <boost/asio/impl/src.hpp>
#include <boost/beast/src.hpp>
