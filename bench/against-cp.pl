#!/usr/bin/perl
# bench/against-cp.pl TILERY_CLI [ROUNDS]
#
# Wall time of the command-line tool on 1000x1000 noise of 64 colours at
# cell size 1 (a 24.5 MB page), against cp of the page it writes, the two
# run by turns in one folder; prints both medians and their ratio.
use strict;
use warnings;
use File::Temp qw(tempdir);
use Time::HiRes qw(time);

my $cli = shift or die "usage: $0 TILERY_CLI [ROUNDS]\n";
my $rounds = shift // 21;
my $dir = tempdir("tilery-against-cp-XXXXXX", TMPDIR => 1, CLEANUP => 1);

# A bottom-up 24-bit BMP; every channel one of 0, 64, 128, 192.
my ($w, $h) = (1000, 1000);
srand(1);
# Made byte by byte (a list of them would leave this process large, and
# every fork below slower).
my $pixels = "";
$pixels .= chr(int(rand(4)) * 64) for 1 .. $w * $h * 3;
open my $bmp, ">:raw", "$dir/noise.bmp" or die;
print $bmp "BM", pack("VvvV", 54 + length $pixels, 0, 0, 54),
	pack("VllvvVVllVV", 40, $w, $h, 1, 24, 0, length $pixels, 2835, 2835, 0, 0), $pixels;
close $bmp or die;
undef $pixels;

sub run { system(@_) == 0 or die "@_ failed\n" }
sub median { my @s = sort { $a <=> $b } @_; $s[$#s / 2] }

run($cli, "$dir/noise.bmp", "$dir/page.html", "1");
my (@tool, @cp);
for (1 .. $rounds) {
	my $t = time; run($cli, "$dir/noise.bmp", "$dir/tool.html", "1"); push @tool, time - $t;
	$t = time; run("cp", "$dir/page.html", "$dir/copy.html"); push @cp, time - $t;
}
printf "tilery-cli %.1f ms, cp %.1f ms, ratio %.2f (a %.1f MB page, medians of %d, wall time)\n",
	median(@tool) * 1000, median(@cp) * 1000, median(@tool) / median(@cp), (-s "$dir/page.html") / 1e6, $rounds;
