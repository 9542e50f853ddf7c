"""What the segment table costs under the job's lock for a 100 GiB plan:
each figure computed from scratch (as the job did before the table kept
it) beside kept as the table moves, in the same run."""
import os
import subprocess

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, 'build')


def main():
    out = subprocess.run([os.path.join(BUILD, 'wine-run'), os.path.join(BUILD, 'bench', 'segment_costs.exe')],
                         capture_output=True, timeout=600).stdout.decode()
    print('== the segment table of a 100 GiB download (25,600 pieces), per call under the job lock')
    print(out.strip())


if __name__ == '__main__':
    main()
