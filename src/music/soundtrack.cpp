// Starting the music and reading its position, for every program that plays the show.
#include "music/soundtrack.h"

void startMusic(Soundtrack& music) {
  music.musicWav.load("assets/zoov2020.ogg");
  music.musicWav.setLooping(true);
  music.musicWav.setLoopPoint(80.0);
  music.musicHandle = music.soloud.play(music.musicWav, -1.0f, 0.0f, false, 0);
}

double musicTime(Soundtrack& music) { return music.soloud.getStreamPosition(music.musicHandle); }
