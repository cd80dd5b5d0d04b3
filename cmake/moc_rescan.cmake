# CMake 3.25's AUTOMOC under Ninja does not notice a header that gains Q_OBJECT after the first
# build, and the link then misses its meta-object. Removing the autogen stamps on each configure
# (which any change of the source lists brings) makes moc look at every header again.
file(GLOB_RECURSE stale_autogen_stamps "${CMAKE_BINARY_DIR}/*_autogen/timestamp")
if(stale_autogen_stamps)
    file(REMOVE ${stale_autogen_stamps})
endif()
