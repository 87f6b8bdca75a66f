#!/bin/bash
# A Slurm array job: task k of 0 to 3 draws the 16 seeds from 100 + 16 k,
# so the four tasks together draw the seeds 100 to 163 on up to four
# machines, the very files that one batch of 64 would draw. Submit it with
# sbatch docs/seeds-array.sh from the directory the pictures should go to.
#SBATCH --job-name=seeds
#SBATCH --array=0-3
#SBATCH --cpus-per-task=4
#SBATCH --mem=1G
first=100
each=16
seed=$((first + SLURM_ARRAY_TASK_ID * each))
exec bramblewisp -time 1 -mem 1 -cpu 1 -iter 12 -seed "$seed" -count "$each" \
    -out 'tree-%d.png' -sheet 'sheet-%d.png'
