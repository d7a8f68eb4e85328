// engine/Playlist.cpp
