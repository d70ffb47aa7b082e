#include "python/PythonBuiltins.h"

#include <boost/python.hpp>

BOOST_PYTHON_MODULE(quorvalent_api) {}
